#include "LocalHttpServer.h"
#include "SdtApiLibrary.h"
#include "Settings.h"
#include "Tolvane.h"
#include "WsTestClient.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMetaType>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

// The main window in this process, with its real bridge on port 10080, the
// reader stand-in library of the build and a settings server on 127.0.0.1.
class tst_Tolvane : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsInTheTray();
    void form();
    void formProperties_data();
    void formProperties();
    void clockTicks();
    void closeHidesAndKeepsServing();
    void minimisingStopsPreview();
    void trayClickShowsWindow();
    void faceActionDoesNothingYet();
    void browserCardFillsPage_data();
    void browserCardFillsPage();
    void exitActionEndsLoopAndClosesClientsAndReader();

private:
    void setReader(const QJsonObject &simulation);
    QStringList readerTrace() const;
    bool openClient(WsTestClient &client);
    bool showFromTray();
    template<typename T> T *child(const char *name) const
    {
        return window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
    }

    QTemporaryDir root;
    QString workDir;
    LocalHttpServer settingsServer;
    QScopedPointer<Tolvane> window;
};

namespace {
const char faceSettings[] = R"({"face": {"blur": "0|0.42"}})";
} // namespace

void tst_Tolvane::initTestCase()
{
    QVERIFY(root.isValid());
    workDir = root.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(workDir + QStringLiteral("/cardphoto")));
    QVERIFY(QDir::setCurrent(workDir));
    SdtApiLibrary::setProgramFolder(QStringLiteral(TOLVANE_BIN_DIR));

    QVERIFY(settingsServer.listen());
    settingsServer.setResponse("/facesetting.json", LocalHttpResponse::json(faceSettings));
}

void tst_Tolvane::init()
{
    // A settings file of the test's own, pointing the refresher at the local server.
    const QString ini = root.filePath(QStringLiteral("Setup.ini"));
    QFile::remove(ini);
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[base]\ncollectTimer=7\nextraPort=0\nfileUrl=%1\n")
                   .arg(settingsServer.url(QStringLiteral("/facesetting.json")))
                   .toUtf8());
    file.close();
    setSettingsFilePath(ini);
    blurMax.set(0.0);
    QFile::remove(root.filePath(QStringLiteral("trace.txt")));
    setReader(QJsonObject());

    window.reset(new Tolvane);
}

void tst_Tolvane::cleanup()
{
    window.reset();
    setSettingsFilePath(QString());
}

void tst_Tolvane::setReader(const QJsonObject &simulation)
{
    QJsonObject object = simulation;
    object.insert(QStringLiteral("trace"), root.filePath(QStringLiteral("trace.txt")));
    const QString path = root.filePath(QStringLiteral("reader.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(object).toJson());
    qputenv("SDTAPI_SIM", QFile::encodeName(path));
}

QStringList tst_Tolvane::readerTrace() const
{
    QFile file(root.filePath(QStringLiteral("trace.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool tst_Tolvane::openClient(WsTestClient &client)
{
    // The bridge thread starts listening shortly after the window's construction.
    return QTest::qWaitFor([&client] { return client.open(10080, 1000); }, 10000);
}

bool tst_Tolvane::showFromTray()
{
    // As main does: show, and the window hides itself into the tray.
    window->show();
    if (!QTest::qWaitFor([this] { return !window->isVisible(); }))
        return false;
    emit const_cast<QSystemTrayIcon &>(window->systemTrayIcon()).activated(QSystemTrayIcon::Trigger);
    return QTest::qWaitForWindowExposed(window.data());
}

void tst_Tolvane::startsInTheTray()
{
    QCOMPARE(collectTimer.get(), 7);
    for (const char *name : {"IDCardReadData&", "QImage&", "CheckResult&", "FaceReadData&", "MsgResult&"})
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);

    QVERIFY(window->windowState() & Qt::WindowMinimized);
    window->show();
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(window->systemTrayIcon().isVisible());
    QCOMPARE(window->systemTrayIcon().toolTip(), QString::fromUtf8("信息采集程序"));
    QVERIFY(!window->systemTrayIcon().icon().isNull());
    QCOMPARE(window->statusBar()->currentMessage(), QString::fromUtf8("程序运行中,欢迎使用!"));

    // The settings refresher runs for the window's life.
    QTRY_COMPARE(blurMax.get(), 0.42);
    QVERIFY(settingsServer.requestCount() >= 1);
}

void tst_Tolvane::form()
{
    QCOMPARE(window->objectName(), QStringLiteral("TolvaneDialog"));
    QCOMPARE(window->windowTitle(), QString::fromUtf8("身份证人脸信息采集程序"));
    QCOMPARE(window->minimumSize(), QSize(900, 400));
    QCOMPARE(window->maximumSize(), QSize(900, 400));
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(qApp->styleSheet().contains(QStringLiteral("#TolvaneDialog")));
    QVERIFY(qApp->styleSheet().contains(QStringLiteral(":/image/Resources/image/bk_new.bmp")));
    QVERIFY(!QImage(QStringLiteral(":/image/Resources/image/bk_new.bmp")).isNull());

    auto *toolBar = child<QToolBar>("mainToolBar");
    QVERIFY(toolBar);
    QVERIFY(!toolBar->isMovable());
    QCOMPARE(toolBar->iconSize(), QSize(60, 60));
    const QList<QAction *> actions = toolBar->actions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions.at(0)->objectName(), QStringLiteral("actIdRead"));
    QCOMPARE(actions.at(0)->text(), QString::fromUtf8("身份证阅读"));
    QCOMPARE(actions.at(0)->toolTip(), QString::fromUtf8("身份证阅读"));
    QVERIFY(!actions.at(0)->icon().isNull());
    QCOMPARE(actions.at(1)->objectName(), QStringLiteral("actFaceCollect"));
    QCOMPARE(actions.at(1)->text(), QString::fromUtf8("人脸采集"));
    QVERIFY(!actions.at(1)->icon().isNull());
    QCOMPARE(actions.at(2)->objectName(), QStringLiteral("actExitApp"));
    QCOMPARE(actions.at(2)->text(), QString::fromUtf8("退出程序"));
    QVERIFY(actions.at(2)->icon().isNull());

    QMenu *trayMenu = window->systemTrayIcon().contextMenu();
    QVERIFY(trayMenu);
    QCOMPARE(trayMenu->actions(), QList<QAction *> {actions.at(2)});

    // The ID card page is the only page so far, shown without its button and help.
    auto *stack = child<QStackedWidget>("pageStack");
    QVERIFY(stack);
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("QIDCardRead"));
    QVERIFY(!child<QWidget>("page"));
    QVERIFY(!child<QWidget>("page_2"));
    QVERIFY(child<QPushButton>("btn_read")->isHidden());
    QVERIFY(child<QPlainTextEdit>("plainTextEdit")->isHidden());

    // The version stands at the far right of the status bar, the clock before it.
    auto *version = child<QLabel>("versionLabel");
    auto *clock = child<QLabel>("clockLabel");
    QVERIFY(version && clock);
    QCOMPARE(version->text(), QStringLiteral("V1.1.0"));
    QVERIFY(showFromTray());
    QVERIFY(clock->geometry().right() < version->geometry().left());
    QCOMPARE(version->parentWidget(), clock->parentWidget());
}

void tst_Tolvane::formProperties_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("pageStack geometry")
        << "pageStack" << QByteArray("geometry") << QVariant(QRect(9, 9, 1024, 700));
    QTest::newRow("pageStack style") << "pageStack" << QByteArray("styleSheet")
                                     << QVariant(QStringLiteral("item:{border:0px}"));
    QTest::newRow("toolBar title") << "mainToolBar" << QByteArray("windowTitle")
                                   << QVariant(QStringLiteral("toolBar"));
    QTest::newRow("toolBar style") << "mainToolBar" << QByteArray("styleSheet")
                                   << QVariant(QStringLiteral("border:none;"));
    QTest::newRow("toolBar button style")
        << "mainToolBar" << QByteArray("toolButtonStyle") << QVariant(int(Qt::ToolButtonFollowStyle));
    QTest::newRow("statusBar style") << "statusBar" << QByteArray("styleSheet")
                                     << QVariant(QStringLiteral("QStatusBar::item{border: 0px}"));
    QTest::newRow("face tool tip") << "actFaceCollect" << QByteArray("toolTip")
                                   << QVariant(QString::fromUtf8("人脸采集"));
}

void tst_Tolvane::formProperties()
{
    QFETCH(QString, objectName);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    QObject *object = window->findChild<QObject *>(objectName);
    QVERIFY2(object, qPrintable(objectName));
    QVariant actual = object->property(property.constData());
    QVERIFY2(actual.isValid(), property.constData());
    if (expected.type() == QVariant::Int)
        actual = actual.toInt();
    QCOMPARE(actual, expected);

    if (objectName == QLatin1String("mainToolBar"))
        QCOMPARE(window->toolBarArea(qobject_cast<QToolBar *>(object)), Qt::TopToolBarArea);
    if (objectName == QLatin1String("pageStack"))
        QCOMPARE(object->parent(), window->centralWidget());
}

void tst_Tolvane::clockTicks()
{
    auto *clock = child<QLabel>("clockLabel");
    QVERIFY(clock);
    QTRY_VERIFY(!clock->text().isEmpty());
    const QString first = clock->text();
    const QRegularExpression format(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}) \\S+ \\d{2}:\\d{2}:\\d{2}$"));
    const QRegularExpressionMatch match = format.match(first);
    QVERIFY2(match.hasMatch(), qPrintable(first));
    const QDate shown = QDate::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd"));
    QVERIFY(shown == QDate::currentDate() || shown == QDate::currentDate().addDays(-1));
    QTRY_VERIFY_WITH_TIMEOUT(clock->text() != first, 5000);
    QVERIFY(format.match(clock->text()).hasMatch());
}

void tst_Tolvane::closeHidesAndKeepsServing()
{
    QVERIFY(showFromTray());
    QVERIFY(window->isVisible());

    window->close();
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(window->systemTrayIcon().isVisible());
    // A window that refuses to close must not make a session end cancel the
    // user's logout or shutdown.
    QVERIFY(!QGuiApplication::isFallbackSessionManagementEnabled());

    WsTestClient client;
    QVERIFY(openClient(client));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));
    const QJsonObject reply = QJsonDocument::fromJson(client.messages.first().toUtf8()).object();
    QCOMPARE(reply.value(QStringLiteral("type")).toInt(), 1);
    QVERIFY(!reply.value(QStringLiteral("IDCard")).toString().isEmpty());
}

void tst_Tolvane::minimisingStopsPreview()
{
    QSignalSpy stopPreview(window.data(), &Tolvane::signal_stop_preview);
    QVERIFY(showFromTray());
    stopPreview.clear();

    window->setWindowState(Qt::WindowMinimized);
    QCOMPARE(stopPreview.count(), 1);
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(window->systemTrayIcon().isVisible());

    // Selecting the ID card page also ends a running preview.
    child<QAction>("actIdRead")->trigger();
    QCOMPARE(stopPreview.count(), 2);
    QCOMPARE(window->minimumSize(), QSize(900, 400));
}

void tst_Tolvane::trayClickShowsWindow()
{
    window->show();
    QTRY_VERIFY(!window->isVisible());
    auto &tray = const_cast<QSystemTrayIcon &>(window->systemTrayIcon());

    // The context menu is the tray icon's own business.
    emit tray.activated(QSystemTrayIcon::Context);
    QVERIFY(!window->isVisible());
    QVERIFY(tray.isVisible());

    emit tray.activated(QSystemTrayIcon::Trigger);
    QVERIFY(window->isVisible());
    QVERIFY(!(window->windowState() & Qt::WindowMinimized));
    QVERIFY(!tray.isVisible());
    QCOMPARE(
        child<QStackedWidget>("pageStack")->currentWidget()->objectName(), QStringLiteral("QIDCardRead"));

    window->close();
    QTRY_VERIFY(!window->isVisible());
    emit tray.activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(window->isVisible());
}

void tst_Tolvane::faceActionDoesNothingYet()
{
    QVERIFY(showFromTray());
    QSignalSpy startPlay(window.data(), &Tolvane::startPlay);
    child<QAction>("actFaceCollect")->trigger();
    QCOMPARE(
        child<QStackedWidget>("pageStack")->currentWidget()->objectName(), QStringLiteral("QIDCardRead"));
    QCOMPARE(window->minimumSize(), QSize(900, 400));
    QCOMPARE(startPlay.count(), 0);

    // A browser's face request gets no window and no reply, and the bridge goes on.
    WsTestClient client;
    QVERIFY(openClient(client));
    client.send(QStringLiteral("ID_FACE_RED"));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));
    QVERIFY(client.messages.first().startsWith(QLatin1Char('{')));
    QCOMPARE(startPlay.count(), 0);
    QCOMPARE(window->minimumSize(), QSize(900, 400));
}

void tst_Tolvane::browserCardFillsPage_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("withPhoto");

    const QStringList card {QString::fromUtf8("李四"), QString::fromUtf8("女"), QString::fromUtf8("其他"),
        QStringLiteral("19851212"), QString::fromUtf8("示例省示例市中山路8号"),
        QStringLiteral("990000198512120025"), QString::fromUtf8("示例市公安局"), QStringLiteral("20150101"),
        QStringLiteral("20350101")};
    // The reader drops an empty field between two others: here the number is last.
    const QStringList noNumber = card.mid(0, 5) << QString();
    QTest::newRow("card with photo") << card << true;
    QTest::newRow("card without photo") << card << false;
    QTest::newRow("card without ID number") << noNumber << true;
}

void tst_Tolvane::browserCardFillsPage()
{
    QFETCH(QStringList, fields);
    QFETCH(bool, withPhoto);

    QDir(workDir + QStringLiteral("/cardphoto")).removeRecursively();
    QVERIFY(QDir().mkpath(workDir + QStringLiteral("/cardphoto")));
    QJsonObject simulation {{QStringLiteral("reader"), QStringLiteral("ok")},
        {QStringLiteral("card"), QStringLiteral("present")},
        {QStringLiteral("fields"), QJsonArray::fromStringList(fields)}};
    if (withPhoto) {
        QImage photo(102, 126, QImage::Format_RGB32);
        photo.fill(QColor(200, 60, 60));
        QVERIFY(photo.save(root.filePath(QStringLiteral("photo.bmp"))));
        simulation.insert(QStringLiteral("photo"), root.filePath(QStringLiteral("photo.bmp")));
    } else {
        simulation.insert(QStringLiteral("photo"), QString());
    }
    setReader(simulation);

    WsTestClient client;
    QVERIFY(openClient(client));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));

    auto *name = child<QLineEdit>("edit_name");
    QVERIFY(name);
    QTRY_COMPARE(name->text(), fields.at(0));
    QCOMPARE(child<QLineEdit>("edit_sex")->text(), fields.at(1));
    QCOMPARE(child<QLineEdit>("edit_nation")->text(), QString::fromUtf8("穿青人"));
    QCOMPARE(child<QLineEdit>("edit_birthday")->text(), fields.at(3));
    QCOMPARE(child<QLineEdit>("edit_idcard")->text(), fields.at(5));

    const QPixmap shown = child<QLabel>("lab_photo")->pixmap(Qt::ReturnByValue);
    const bool photoExpected = withPhoto && !fields.at(5).isEmpty();
    QCOMPARE(!shown.isNull(), photoExpected);
    if (photoExpected) {
        const QColor centre = shown.toImage().pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY2(centre.red() > 150 && centre.green() < 110, qPrintable(centre.name()));
    }
}

void tst_Tolvane::exitActionEndsLoopAndClosesClientsAndReader()
{
    WsTestClient client;
    QVERIFY(openClient(client));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));
    QVERIFY(!readerTrace().isEmpty());
    QVERIFY(!readerTrace().contains(QStringLiteral("CloseComm")));

    QTimer::singleShot(0, child<QAction>("actExitApp"), &QAction::trigger);
    QCOMPARE(qApp->exec(), 0);

    // main destroys the window once the event loop has returned.
    window.reset();
    QCOMPARE(readerTrace().last(), QStringLiteral("CloseComm"));
    QVERIFY(client.waitForDisconnected(5000));
    QCOMPARE(client.webSocket().closeCode(), QWebSocketProtocol::CloseCodeNormal);
}

QTEST_MAIN(tst_Tolvane)
#include "tst_tolvane.moc"
