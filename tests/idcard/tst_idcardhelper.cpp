#include "IdCardHelper.h"
#include "ReaderFixture.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"

#include <QDir>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopedPointer>
#include <QTest>

namespace {

QStringList recordFields(const IDCardReadData &record)
{
    return {record.name, record.sex, record.nation, record.birthday, record.address, record.idCard,
        record.extra1, record.extra2, record.extra3};
}

QStringList emptyFields()
{
    return QVector<QString>(9).toList();
}

QStringList withItem(QStringList fields, int index, const QString &value)
{
    fields[index] = value;
    return fields;
}

// Creates the nested folder below `base` whose absolute path, followed by
// "/cardphoto", takes exactly `bytes` bytes in the local 8-bit code page.
QString folderOfLength(const QString &base, int bytes, const QString &unit)
{
    const int unitBytes = unit.toLocal8Bit().size();
    QString path = QDir(base).canonicalPath();
    int extra = bytes - int(qstrlen("/cardphoto")) - path.toLocal8Bit().size();
    while (extra > 1) {
        // A separator and a component; never leave a single byte for the last one.
        int chunk = qMin(extra, 61);
        if (extra - chunk == 1)
            --chunk;
        QString component;
        int used = 0;
        while (used + unitBytes <= chunk - 1) {
            component += unit;
            used += unitBytes;
        }
        component += QString(chunk - 1 - used, QLatin1Char('a'));
        path += QLatin1Char('/') + component;
        extra -= chunk;
    }
    QDir().mkpath(path + QStringLiteral("/cardphoto"));
    return path;
}

} // namespace

class tst_IdCardHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readerTextToRecord_data();
    void readerTextToRecord();
    void readerStates_data();
    void readerStates();
    void builtInCardWithoutSimulation();
    void portOpenedForEveryReadAndClosedOnce();
    void photoFolderBuffer_data();
    void photoFolderBuffer();
};

void tst_IdCardHelper::initTestCase()
{
    registerSharedRecords();
    // The stand-in of the build, loaded as the program loads it from its own folder.
    SdtApiLibrary::setProgramFolder(QStringLiteral(TOLVANE_BIN_DIR));
    QVERIFY2(SdtApiLibrary::instance().isUsable(), qPrintable(SdtApiLibrary::instance().problem()));
}

void tst_IdCardHelper::readerTextToRecord_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QVariant>("reportLength");
    QTest::addColumn<QString>("workDirName");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("photo");

    const QStringList card = ReaderFixture::standardFields();
    const QVariant trueLength;

    QTest::newRow("nine fields") << card << trueLength << "work" << card << true;
    QTest::newRow("nation 其它 substituted")
        << withItem(card, 2, "其它") << trueLength << "work" << withItem(card, 2, "穿青人") << true;
    QTest::newRow("nation 其他 substituted")
        << withItem(card, 2, "其他") << trueLength << "work" << withItem(card, 2, "穿青人") << true;
    QTest::newRow("nation 其他族 untouched")
        << withItem(card, 2, "其他族") << trueLength << "work" << withItem(card, 2, "其他族") << true;
    QTest::newRow("nation 蒙古 untouched")
        << withItem(card, 2, "蒙古") << trueLength << "work" << withItem(card, 2, "蒙古") << true;
    QTest::newRow("empty field between two others is lost, the rest move up")
        << QStringList {"李四", "", "汉", "19851203", "测试省测试市幸福街8号", "99000019851203002X",
               "测试市公安局", "20160301", "20360301"}
        << trueLength << "work"
        << QStringList {"李四", "汉", "19851203", "测试省测试市幸福街8号", "99000019851203002X",
               "测试市公安局", "20160301", "20360301", ""}
        << false;
    QTest::newRow("empty first field gives an empty name, no shift")
        << withItem(card, 0, "") << trueLength << "work" << withItem(card, 0, "") << true;
    QTest::newRow("fewer than nine items leave the rest empty")
        << QStringList {"李四", "女", "汉"} << trueLength << "work"
        << QStringList {"李四", "女", "汉", "", "", "", "", "", ""} << false;
    QTest::newRow("working directory with Chinese characters")
        << card << trueLength << "工作目录/读卡" << card << true;
    QTest::newRow("reported count above 304 taken as 304") << card << QVariant(400) << "work" << card << true;
    QTest::newRow("reported count far above 304") << card << QVariant(2000000000) << "work" << card << true;
    QTest::newRow("reported count below 0 taken as 0")
        << card << QVariant(-1) << "work" << QStringList {"", "", "", "", "", "", "", "", ""} << false;
    // "李四\0女\0汉\0" is 15 bytes.
    QTest::newRow("reported count shorter than the text")
        << card << QVariant(15) << "work" << QStringList {"李四", "女", "汉", "", "", "", "", "", ""}
        << false;
    QTest::newRow("text over 304 bytes is cut")
        << withItem(card, 4, QString(290, QLatin1Char('X'))) << trueLength << "work"
        << QStringList {"李四", "女", "汉", "19851203", QString(280, QLatin1Char('X')), "", "", "", ""}
        << false;
    QTest::newRow("ID number with ../ writes no photo")
        << withItem(card, 5, "../../outside") << trueLength << "work" << withItem(card, 5, "../../outside")
        << false;
    QTest::newRow("ID number with backslashes writes no photo")
        << withItem(card, 5, "..\\..\\outside") << trueLength << "work"
        << withItem(card, 5, "..\\..\\outside") << false;
    QTest::newRow("ID number with a blank writes no photo")
        << withItem(card, 5, "990000 1985") << trueLength << "work" << withItem(card, 5, "990000 1985")
        << false;
    // Windows opens a device for these names in any folder and with any extension.
    QTest::newRow("ID number NUL writes no photo")
        << withItem(card, 5, "NUL") << trueLength << "work" << withItem(card, 5, "NUL") << false;
    QTest::newRow("ID number con writes no photo")
        << withItem(card, 5, "con") << trueLength << "work" << withItem(card, 5, "con") << false;
    QTest::newRow("ID number COM1 writes no photo")
        << withItem(card, 5, "COM1") << trueLength << "work" << withItem(card, 5, "COM1") << false;
    QTest::newRow("ID number Lpt9 writes no photo")
        << withItem(card, 5, "Lpt9") << trueLength << "work" << withItem(card, 5, "Lpt9") << false;
    QTest::newRow("ID number CONSOLE is a plain name")
        << withItem(card, 5, "CONSOLE") << trueLength << "work" << withItem(card, 5, "CONSOLE") << true;
    QTest::newRow("ID number with full-width digits writes no photo")
        << withItem(card, 5, "９９００００") << trueLength << "work" << withItem(card, 5, "９９００００")
        << false;
}

void tst_IdCardHelper::readerTextToRecord()
{
    QFETCH(QStringList, fields);
    QFETCH(QVariant, reportLength);
    QFETCH(QString, workDirName);
    QFETCH(QStringList, expected);
    QFETCH(bool, photo);

    ReaderFixture fixture(workDirName);
    QVERIFY(fixture.isValid());
    QJsonObject simulation
        = ReaderFixture::card(fields, fixture.writeImage("card.png", QSize(102, 126), Qt::darkGreen));
    simulation.insert(
        "reportLength", reportLength.isNull() ? QJsonValue() : QJsonValue(reportLength.toInt()));
    fixture.setReader(simulation);

    IdCardHelper helper;
    const ReaderFixture::Result result = ReaderFixture::readCardForClient(helper, "127.0.0.1", 50123);
    QCOMPARE(result.emissions, 1);
    QCOMPARE(result.type, 1);
    QCOMPARE(recordFields(result.record), expected);
    QCOMPARE(result.record.ip, QStringLiteral("127.0.0.1"));
    QCOMPARE(result.record.port, 50123);

    // The photo lands as "cardphoto/<ID number>.jpg" and nowhere else.
    const QStringList expectedFiles
        = photo ? QStringList {fixture.photoPath(result.record.idCard)} : QStringList();
    QCOMPARE(fixture.jpegFiles(), expectedFiles);
}

void tst_IdCardHelper::readerStates_data()
{
    QTest::addColumn<QByteArray>("simulation");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("calls");

    const QStringList initOnly {"InitComm 1001"};
    const QStringList upToAuthenticate {"InitComm 1001", "Authenticate"};
    const QStringList upToRead {"InitComm 1001", "Authenticate", "ReadBaseMsgPhoto %1"};

    QTest::newRow("reader absent") << QByteArray(R"({"reader": "absent"})") << 3 << initOnly;
    QTest::newRow("no card") << QByteArray(R"({"card": "absent"})") << 2 << upToAuthenticate;
    QTest::newRow("card unreadable") << QByteArray(R"({"card": "unreadable"})") << 2 << upToRead;
    QTest::newRow("card present") << QByteArray(R"({"card": "present", "reader": "ok"})") << 1 << upToRead;
    // Without a trace in the file only the outcome can be seen.
    QTest::newRow("simulation file not JSON") << QByteArray("{reader: ok") << 3 << QStringList();
    QTest::newRow("simulation file with an unknown reader state")
        << QByteArray(R"({"reader": "on"})") << 3 << QStringList();
    QTest::newRow("simulation file with fields not strings")
        << QByteArray(R"({"fields": [1, 2]})") << 3 << QStringList();
}

void tst_IdCardHelper::readerStates()
{
    QFETCH(QByteArray, simulation);
    QFETCH(int, type);
    QFETCH(QStringList, calls);

    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(simulation, &error);
    if (error.error == QJsonParseError::NoError && document.isObject())
        fixture.setReader(document.object());
    else
        fixture.setReaderFileText(simulation);

    IdCardHelper helper;
    const ReaderFixture::Result page = ReaderFixture::readCard(helper);
    QCOMPARE(page.emissions, 1);
    QCOMPARE(page.type, type);
    const ReaderFixture::Result client = ReaderFixture::readCardForClient(helper, "::1", 40000);
    QCOMPARE(client.emissions, 1);
    QCOMPARE(client.type, type);
    QCOMPARE(client.record.ip, QStringLiteral("::1"));
    QCOMPARE(client.record.port, 40000);
    if (type != 1) {
        QCOMPARE(recordFields(page.record), emptyFields());
        QCOMPARE(recordFields(client.record), emptyFields());
        QCOMPARE(page.record.port, 0);
    }

    QStringList expectedCalls;
    for (const QString &call : calls + calls)
        expectedCalls << (call.contains("%1") ? call.arg(fixture.photoFolder()) : call);
    QCOMPARE(fixture.trace(), expectedCalls);
}

void tst_IdCardHelper::builtInCardWithoutSimulation()
{
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    QVERIFY(qgetenv("SDTAPI_SIM").isEmpty());

    IdCardHelper helper;
    const ReaderFixture::Result result = ReaderFixture::readCard(helper);
    QCOMPARE(result.type, 1);
    QVERIFY(!result.record.name.isEmpty());
    QVERIFY(!result.record.sex.isEmpty());
    QVERIFY(!result.record.nation.isEmpty());
    QCOMPARE(result.record.birthday.size(), 8);
    QVERIFY(!result.record.address.isEmpty());
    QCOMPARE(result.record.idCard.size(), 18);
    QVERIFY(!result.record.extra3.isEmpty());
    QImageReader photo(fixture.photoPath(result.record.idCard));
    QCOMPARE(photo.format(), QByteArray("jpeg"));
    QCOMPARE(photo.size(), QSize(102, 126));
}

void tst_IdCardHelper::portOpenedForEveryReadAndClosedOnce()
{
    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    const QString read = QStringLiteral("ReadBaseMsgPhoto ") + fixture.photoFolder();

    QScopedPointer<IdCardHelper> helper(new IdCardHelper);
    fixture.setReader(QJsonObject {});
    QCOMPARE(ReaderFixture::readCardForClient(*helper, "127.0.0.1", 1).type, 1);
    QCOMPARE(ReaderFixture::readCard(*helper).type, 1);
    fixture.setReader(QJsonObject {{"reader", "absent"}});
    QCOMPARE(ReaderFixture::readCardForClient(*helper, "127.0.0.1", 1).type, 3);
    QCOMPARE(ReaderFixture::readCardForClient(*helper, "127.0.0.1", 1).type, 3);
    // The reader plugged in again: the next read opens it anew.
    fixture.setReader(QJsonObject {});
    QCOMPARE(ReaderFixture::readCardForClient(*helper, "127.0.0.1", 1).type, 1);

    const QStringList reads {"InitComm 1001", "Authenticate", read, "InitComm 1001", "Authenticate", read,
        "InitComm 1001", "InitComm 1001", "InitComm 1001", "Authenticate", read};
    QCOMPARE(fixture.trace(), reads);

    helper.reset();
    QCOMPARE(fixture.trace(), reads + QStringList {"CloseComm"});

    // Closed once also when nothing was read.
    QFile::remove(fixture.tracePath());
    helper.reset(new IdCardHelper);
    helper.reset();
    QCOMPARE(fixture.trace(), QStringList {"CloseComm"});
}

void tst_IdCardHelper::photoFolderBuffer_data()
{
    QTest::addColumn<bool>("forClient");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("type");

    // Bytes of "<working directory>/cardphoto"; the buffer keeps one for the end.
    QTest::newRow("page read, 199 bytes fit") << false << 199 << "a" << 1;
    QTest::newRow("page read, 200 bytes too long") << false << 200 << "a" << 2;
    QTest::newRow("client read, 200 bytes fit") << true << 200 << "a" << 1;
    QTest::newRow("client read, 299 bytes fit") << true << 299 << "a" << 1;
    QTest::newRow("client read, 300 bytes too long") << true << 300 << "a" << 2;
    // Fewer than 300 characters, but more bytes.
    QTest::newRow("client read, Chinese characters over 300 bytes") << true << 330 << "卡" << 2;
    QTest::newRow("page read, Chinese characters within 199 bytes") << false << 197 << "卡" << 1;
}

void tst_IdCardHelper::photoFolderBuffer()
{
    QFETCH(bool, forClient);
    QFETCH(int, bytes);
    QFETCH(QString, unit);
    QFETCH(int, type);

    ReaderFixture fixture;
    QVERIFY(fixture.isValid());
    const QString work = folderOfLength(fixture.root(), bytes, unit);
    const QByteArray photoFolder = (work + QStringLiteral("/cardphoto")).toLocal8Bit();
    QCOMPARE(photoFolder.size(), bytes);
    QVERIFY(QDir::setCurrent(work));
    fixture.setReader(ReaderFixture::card(
        ReaderFixture::standardFields(), fixture.writeImage("card.png", QSize(102, 126), Qt::blue)));

    LogCapture log;
    IdCardHelper helper;
    const ReaderFixture::Result result = forClient ? ReaderFixture::readCardForClient(helper, "127.0.0.1", 2)
                                                   : ReaderFixture::readCard(helper);
    QCOMPARE(result.type, type);
    const QString jpeg = work + "/cardphoto/" + ReaderFixture::standardFields().at(5) + ".jpg";
    if (type == 1) {
        QVERIFY(QFileInfo::exists(jpeg));
        QCOMPARE(fixture.trace().last(), "ReadBaseMsgPhoto " + work + "/cardphoto");
    } else {
        QVERIFY(!QFileInfo::exists(jpeg));
        // The card is selected as on every read; the folder never reaches the library.
        QCOMPARE(fixture.trace(), (QStringList {"InitComm 1001", "Authenticate"}));
        QCOMPARE(log.linesWith("photo folder").size(), 1);
        QCOMPARE(recordFields(result.record), emptyFields());
    }
}

QTEST_GUILESS_MAIN(tst_IdCardHelper)
#include "tst_idcardhelper.moc"
