#include "QIDCardRead.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The ID card page: its form, what a card record shows and the read button.
class tst_QIDCardRead : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form_data();
    void form();
    void helpText();
    void showsRecord_data();
    void showsRecord();
    void nextRecordReplacesEverything();
    void readButtonEmitsOncePerClick();

private:
    static void writePhoto(const QString &idCard, const QSize &size);
    static IDCardReadData record(const QString &idCard);
    static QString fieldText(QIDCardRead &page, const char *name);
    static QPixmap photoOf(QIDCardRead &page);

    QTemporaryDir workDir;
};

void tst_QIDCardRead::initTestCase()
{
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("cardphoto")));
}

void tst_QIDCardRead::writePhoto(const QString &idCard, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    QVERIFY(image.save(QStringLiteral("cardphoto/%1.jpg").arg(idCard), "JPG"));
}

IDCardReadData tst_QIDCardRead::record(const QString &idCard)
{
    IDCardReadData data;
    data.name = QString::fromUtf8("张三");
    data.sex = QString::fromUtf8("男");
    data.nation = QString::fromUtf8("汉");
    data.birthday = QStringLiteral("19900101");
    data.address = QString::fromUtf8("北京市东城区某某路1号");
    data.idCard = idCard;
    data.ip = QStringLiteral("127.0.0.1");
    data.port = 50000;
    return data;
}

QString tst_QIDCardRead::fieldText(QIDCardRead &page, const char *name)
{
    auto *edit = page.findChild<QLineEdit *>(QLatin1String(name));
    return edit ? edit->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

QPixmap tst_QIDCardRead::photoOf(QIDCardRead &page)
{
    auto *label = page.findChild<QLabel *>(QStringLiteral("lab_photo"));
    return label ? label->pixmap(Qt::ReturnByValue) : QPixmap();
}

void tst_QIDCardRead::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pointSize");

    QTest::newRow("label") << "label"
                           << "QLabel" << QRect(30, 10, 120, 50) << QString::fromUtf8("人员信息") << 20;
    QTest::newRow("lab_name") << "lab_name"
                              << "QLabel" << QRect(30, 90, 50, 25) << QString::fromUtf8("姓名:") << 10;
    QTest::newRow("lab_sex") << "lab_sex"
                             << "QLabel" << QRect(30, 130, 50, 25) << QString::fromUtf8("性别:") << 10;
    QTest::newRow("lab_birthday") << "lab_birthday"
                                  << "QLabel" << QRect(30, 170, 50, 25) << QString::fromUtf8("生日:") << 10;
    QTest::newRow("lab_idcard") << "lab_idcard"
                                << "QLabel" << QRect(30, 210, 60, 25) << QString::fromUtf8("身份证号:") << 10;
    QTest::newRow("lab_nation") << "lab_nation"
                                << "QLabel" << QRect(30, 252, 60, 25) << QString::fromUtf8("民族:") << 10;
    QTest::newRow("lab_photo") << "lab_photo"
                               << "QLabel" << QRect(300, 100, 130, 130) << QString() << -1;
    QTest::newRow("btn_read") << "btn_read"
                              << "QPushButton" << QRect(80, 310, 90, 25) << QString::fromUtf8("读身份证")
                              << 12;
    QTest::newRow("edit_name") << "edit_name"
                               << "QLineEdit" << QRect(110, 90, 150, 25) << QString() << -1;
    QTest::newRow("edit_sex") << "edit_sex"
                              << "QLineEdit" << QRect(110, 130, 150, 25) << QString() << -1;
    QTest::newRow("edit_birthday") << "edit_birthday"
                                   << "QLineEdit" << QRect(110, 170, 150, 25) << QString() << -1;
    QTest::newRow("edit_idcard") << "edit_idcard"
                                 << "QLineEdit" << QRect(110, 210, 150, 25) << QString() << -1;
    QTest::newRow("edit_nation") << "edit_nation"
                                 << "QLineEdit" << QRect(110, 250, 150, 25) << QString() << -1;
    QTest::newRow("plainTextEdit") << "plainTextEdit"
                                   << "QPlainTextEdit" << QRect(460, 60, 421, 261) << QString() << -1;
}

void tst_QIDCardRead::form()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(int, pointSize);

    QIDCardRead page;
    QCOMPARE(page.objectName(), QStringLiteral("QIDCardRead"));
    QCOMPARE(page.windowTitle(), QStringLiteral("QIDCardRead"));
    QCOMPARE(page.size(), QSize(900, 350));

    auto *widget = page.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QLatin1String(widget->metaObject()->className()), className);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        if (name == QLatin1String("lab_photo"))
            QVERIFY(label->hasScaledContents());
        else
            QCOMPARE(label->alignment(), Qt::AlignCenter);
    }
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->isEnabled());
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QVERIFY(edit->isReadOnly());
        QVERIFY(edit->text().isEmpty());
    }
    if (pointSize > 0) {
        QCOMPARE(widget->font().family(), QString::fromUtf8("微软雅黑"));
        QCOMPARE(widget->font().pointSize(), pointSize);
    }
}

void tst_QIDCardRead::helpText()
{
    QIDCardRead page;
    auto *help = page.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"));
    QVERIFY(help);
    QCOMPARE(help->toPlainText(),
        QString::fromUtf8("1、此功能主要是用于身份证阅读。\n"
                          "2、把身份证放于身份证阅读器上，点击读身份证，程序就把身份证信息显示在界面里面。\n"
                          "3、程序主要用于配合监管平台进行实名制录入，程序读取到的身份证信息回传送到监管平"
                          "台页面使用。\n"
                          "4、请不要关闭该程序。"));
}

void tst_QIDCardRead::showsRecord_data()
{
    QTest::addColumn<QString>("idCard");
    QTest::addColumn<QSize>("photoOnDisk");
    QTest::addColumn<QSize>("photoShown");

    // The reader's photo is 102 x 126; it is scaled into the 130 x 130 label.
    QTest::newRow("photo") << "110101199001011234" << QSize(102, 126) << QSize(105, 130);
    QTest::newRow("wide photo") << "11010119900101123X" << QSize(260, 130) << QSize(130, 65);
    QTest::newRow("no photo file") << "110101199001010000" << QSize() << QSize();
    // "cardphoto/.jpg" exists here, but an empty number names no card's photo.
    QTest::newRow("empty ID number") << "" << QSize(102, 126) << QSize();
    QTest::newRow("ID number leaving the folder") << "../outside" << QSize(102, 126) << QSize();
}

void tst_QIDCardRead::showsRecord()
{
    QFETCH(QString, idCard);
    QFETCH(QSize, photoOnDisk);
    QFETCH(QSize, photoShown);

    if (photoOnDisk.isValid())
        writePhoto(idCard, photoOnDisk);
    QIDCardRead page;
    IDCardReadData data = record(idCard);
    page.show_Msg(1, data);

    QCOMPARE(fieldText(page, "edit_name"), data.name);
    QCOMPARE(fieldText(page, "edit_sex"), data.sex);
    QCOMPARE(fieldText(page, "edit_nation"), data.nation);
    QCOMPARE(fieldText(page, "edit_birthday"), data.birthday);
    QCOMPARE(fieldText(page, "edit_idcard"), data.idCard);
    // The number is wider than its field; its beginning is what shows.
    QCOMPARE(page.findChild<QLineEdit *>(QStringLiteral("edit_idcard"))->cursorPosition(), 0);
    const QPixmap photo = photoOf(page);
    QCOMPARE(photo.isNull(), !photoShown.isValid());
    if (photoShown.isValid())
        QCOMPARE(photo.size(), photoShown);
    // The address is carried but not shown.
    for (QLineEdit *edit : page.findChildren<QLineEdit *>())
        QVERIFY(edit->text() != data.address);
}

void tst_QIDCardRead::nextRecordReplacesEverything()
{
    writePhoto(QStringLiteral("220101198502023456"), QSize(102, 126));
    QIDCardRead page;
    IDCardReadData first = record(QStringLiteral("220101198502023456"));
    page.show_Msg(1, first);
    QVERIFY(!photoOf(page).isNull());

    IDCardReadData second;
    second.name = QString::fromUtf8("李四");
    second.sex = QString::fromUtf8("女");
    second.nation = QString::fromUtf8("穿青人");
    second.birthday = QStringLiteral("20000229");
    second.idCard = QStringLiteral("520101200002294567");
    page.show_Msg(1, second);
    QCOMPARE(fieldText(page, "edit_name"), second.name);
    QCOMPARE(fieldText(page, "edit_sex"), second.sex);
    QCOMPARE(fieldText(page, "edit_nation"), second.nation);
    QCOMPARE(fieldText(page, "edit_birthday"), second.birthday);
    QCOMPARE(fieldText(page, "edit_idcard"), second.idCard);
    QVERIFY2(photoOf(page).isNull(), "the earlier card's photo is not left standing");
}

void tst_QIDCardRead::readButtonEmitsOncePerClick()
{
    QIDCardRead page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy spy(&page, &QIDCardRead::signal_click_read);
    auto *button = page.findChild<QPushButton *>(QStringLiteral("btn_read"));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 2);

    page.hideReadControls();
    QVERIFY(button->isHidden());
    QVERIFY(page.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->isHidden());
}

QTEST_MAIN(tst_QIDCardRead)
#include "tst_qidcardread.moc"
