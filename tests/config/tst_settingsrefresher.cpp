#include "LocalHttpServer.h"
#include "Settings.h"
#include "SettingsRefresher.h"

#include <QFile>
#include <QMutex>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QByteArray documentPath = "/pravon/iccardURLTotal/facesetting.json";

// moc reads no raw string that spans lines, so the document is made of pieces.
const QByteArray fullDocument = R"({"face": {)"
                                R"("facecount": "0.4|0.6", "illumination": "60|250", "blur": "0.2|0.5", )"
                                R"("width": "150|350", "height": "160|360", "left": "120|420", )"
                                R"("top": "110|410", "rotation": "-8|9"}, )"
                                R"("base": {"collectTimer": 3, "verifyType": 4, )"
                                R"("checkUrl": "http://check.example:7001/c", )"
                                R"("authUrl": "https://valid.example/auth", )"
                                R"("validUrl": "https://valid.example/valid/detect", )"
                                R"("accessKeyValue": "00112233445566778899AABBCCDDEEFF", )"
                                R"("accessSecretValue": "FFEEDDCCBBAA99887766554433221100", )"
                                R"("fileUrl": "%FILEURL%"}, )"
                                R"("other": [1, 2, 3]})";

// Every message of the run, from every thread.
QMutex messagesMutex;
QStringList messages;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker locker(&messagesMutex);
        messages.append(QString::number(type) + QLatin1Char(' ') + message);
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

QStringList takeMessages()
{
    QMutexLocker locker(&messagesMutex);
    QStringList taken;
    taken.swap(messages);
    return taken;
}

// A snapshot of every value the refresher may change.
QVariantList allValues()
{
    return {fileUrl.get(), checkUrl.get(), authUrl.get(), validUrl.get(), accessKeyValue.get(),
        accessSecretValue.get(), collectTimer.get(), verifyType.get(), occlusionMax.get(),
        illuminationMin.get(), illuminationMax.get(), blurMax.get(), widthMin.get(), widthMax.get(),
        heightMin.get(), heightMax.get(), leftMin.get(), leftMax.get(), topMin.get(), topMax.get(),
        rotationMin.get(), rotationMax.get()};
}

// stop() on a thread of its own, so a stop that never returns fails the test
// instead of hanging it.
class Stopper
{
public:
    explicit Stopper(SettingsRefresher &refresher, std::function<void()> after = {})
        : thread([this, &refresher, after] {
            refresher.stop();
            if (after)
                after();
            done = true;
        })
    {
    }
    ~Stopper() { thread.join(); }
    bool isDone() const { return done; }

private:
    std::atomic<bool> done {false};
    std::thread thread;
};

} // namespace

class TestSettingsRefresher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fullDocumentIsAppliedAndWritten();
    void faceWithOnlyBlur();
    void baseMembers_data();
    void baseMembers();
    void baseWithoutFileUrlMovesTheNextDownload();
    void downloadsThatChangeNothing_data();
    void downloadsThatChangeNothing();
    void everyPeriodDownloadsAgain();
    void stopWhileWaitingEndsAtOnce();
    void stopDuringDownloadEndsAfterIt();
    void stopRightAfterStart();

private:
    QString settingsValue(const QString &key) const;
    bool fileHas(const QString &key) const;

    // A fresh server for every test, so its counts are that test's own.
    QScopedPointer<LocalHttpServer> served;
    LocalHttpServer &server() { return *served; }
    QScopedPointer<QTemporaryDir> dir;
    QString path;
};

void TestSettingsRefresher::initTestCase()
{
    previousHandler = qInstallMessageHandler(recordMessage);
}

void TestSettingsRefresher::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    path = dir->filePath(QStringLiteral("Setup.ini"));
    setSettingsFilePath(path);
    loadSettings();
    served.reset(new LocalHttpServer);
    QVERIFY(server().listen());
    fileUrl.set(server().url(QString::fromLatin1(documentPath)));
    takeMessages();
}

void TestSettingsRefresher::cleanup()
{
    served.reset();
    setSettingsFilePath(QString());
    // Qt's objects stayed on the thread they belong to.
    const QRegularExpression crossThread(QStringLiteral("different thread|another thread|QObject::"));
    for (const QString &message : takeMessages())
        QVERIFY2(!message.contains(crossThread), qPrintable(message));
}

QString TestSettingsRefresher::settingsValue(const QString &key) const
{
    QSettings file(path, QSettings::IniFormat);
    file.setIniCodec("UTF-8");
    return file.value(key).toString();
}

bool TestSettingsRefresher::fileHas(const QString &key) const
{
    QSettings file(path, QSettings::IniFormat);
    return file.contains(key);
}

void TestSettingsRefresher::fullDocumentIsAppliedAndWritten()
{
    const QString next = server().url(QStringLiteral("/next/facesetting.json"));
    server().setResponse(
        documentPath, LocalHttpResponse::json(QByteArray(fullDocument).replace("%FILEURL%", next.toUtf8())));

    SettingsRefresher refresher;
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);
    refresher.stop();

    QCOMPARE(server().requests().value(0).path(), documentPath);
    QCOMPARE(server().requests().value(0).method, QByteArray("GET"));

    QCOMPARE(occlusionMax.get(), 0.6);
    QCOMPARE(illuminationMin.get(), 60.0);
    QCOMPARE(illuminationMax.get(), 250.0);
    QCOMPARE(blurMax.get(), 0.5);
    QCOMPARE(widthMin.get(), 150.0);
    QCOMPARE(widthMax.get(), 350.0);
    QCOMPARE(heightMin.get(), 160.0);
    QCOMPARE(heightMax.get(), 360.0);
    QCOMPARE(leftMin.get(), 120.0);
    QCOMPARE(leftMax.get(), 420.0);
    QCOMPARE(topMin.get(), 110.0);
    QCOMPARE(topMax.get(), 410.0);
    QCOMPARE(rotationMin.get(), -8.0);
    QCOMPARE(rotationMax.get(), 9.0);
    QCOMPARE(collectTimer.get(), 3);
    QCOMPARE(verifyType.get(), 4);
    QCOMPARE(checkUrl.get(), QStringLiteral("http://check.example:7001/c"));
    QCOMPARE(authUrl.get(), QStringLiteral("https://valid.example/auth"));
    QCOMPARE(validUrl.get(), QStringLiteral("https://valid.example/valid/detect"));
    QCOMPARE(accessKeyValue.get(), QStringLiteral("00112233445566778899AABBCCDDEEFF"));
    QCOMPARE(accessSecretValue.get(), QStringLiteral("FFEEDDCCBBAA99887766554433221100"));
    QCOMPARE(fileUrl.get(), next);

    // The face members as received, the base members as applied.
    QCOMPARE(settingsValue("face/facecount"), QStringLiteral("0.4|0.6"));
    QCOMPARE(settingsValue("face/illumination"), QStringLiteral("60|250"));
    QCOMPARE(settingsValue("face/blur"), QStringLiteral("0.2|0.5"));
    QCOMPARE(settingsValue("face/width"), QStringLiteral("150|350"));
    QCOMPARE(settingsValue("face/height"), QStringLiteral("160|360"));
    QCOMPARE(settingsValue("face/left"), QStringLiteral("120|420"));
    QCOMPARE(settingsValue("face/top"), QStringLiteral("110|410"));
    QCOMPARE(settingsValue("face/rotation"), QStringLiteral("-8|9"));
    QCOMPARE(settingsValue("base/collectTimer"), QStringLiteral("3"));
    QCOMPARE(settingsValue("base/verifyType"), QStringLiteral("4"));
    QCOMPARE(settingsValue("base/checkUrl"), QStringLiteral("http://check.example:7001/c"));
    QCOMPARE(settingsValue("base/authUrl"), QStringLiteral("https://valid.example/auth"));
    QCOMPARE(settingsValue("base/validUrl"), QStringLiteral("https://valid.example/valid/detect"));
    QCOMPARE(settingsValue("base/accessKeyValue"), QStringLiteral("00112233445566778899AABBCCDDEEFF"));
    QCOMPARE(settingsValue("base/accessSecretValue"), QStringLiteral("FFEEDDCCBBAA99887766554433221100"));
    QCOMPARE(settingsValue("base/fileUrl"), next);

    // What was written is what the next start loads.
    const QVariantList applied = allValues();
    setSettingsFilePath(path);
    loadSettings();
    QCOMPARE(allValues(), applied);
}

void TestSettingsRefresher::faceWithOnlyBlur()
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[base]\ncollectTimer=5\nmyOwnKey=stays\n");
    file.close();
    loadSettings();
    fileUrl.set(server().url(QString::fromLatin1(documentPath)));
    const QString baseBefore = checkUrl.get();
    server().setResponse(documentPath, LocalHttpResponse::json(R"({"face": {"blur": "0|0.5"}})"));

    SettingsRefresher refresher;
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);
    refresher.stop();

    QCOMPARE(blurMax.get(), 0.5);
    for (double value : {occlusionMax.get(), illuminationMin.get(), illuminationMax.get(), widthMin.get(),
             widthMax.get(), heightMin.get(), heightMax.get(), leftMin.get(), leftMax.get(), topMin.get(),
             topMax.get(), rotationMin.get(), rotationMax.get()})
        QCOMPARE(value, 0.0);
    QCOMPARE(settingsValue("face/blur"), QStringLiteral("0|0.5"));
    for (const char *key : {"facecount", "illumination", "width", "height", "left", "top", "rotation"}) {
        const QString name = QStringLiteral("face/") + QLatin1String(key);
        QVERIFY2(fileHas(name), qPrintable(name));
        QCOMPARE(settingsValue(name), QString());
    }
    // No "base" object: the base values and their entries stay as they were.
    QCOMPARE(collectTimer.get(), 5);
    QCOMPARE(checkUrl.get(), baseBefore);
    QCOMPARE(settingsValue("base/collectTimer"), QStringLiteral("5"));
    QCOMPARE(settingsValue("base/myOwnKey"), QStringLiteral("stays"));
    QVERIFY(!fileHas("base/checkUrl"));
}

void TestSettingsRefresher::baseMembers_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("collectTimer number") << QByteArray(R"({"base": {"collectTimer": 3}})") << "collectTimer"
                                         << "3";
    QTest::newRow("collectTimer string") << QByteArray(R"({"base": {"collectTimer": "3"}})") << "collectTimer"
                                         << "2";
    QTest::newRow("collectTimer fraction")
        << QByteArray(R"({"base": {"collectTimer": 2.5}})") << "collectTimer"
        << "2";
    QTest::newRow("verifyType missing") << QByteArray(R"({"base": {"collectTimer": 1}})") << "verifyType"
                                        << "2";
    QTest::newRow("verifyType zero") << QByteArray(R"({"base": {"verifyType": 0}})") << "verifyType"
                                     << "0";
    QTest::newRow("checkUrl missing") << QByteArray(R"({"base": {}})") << "checkUrl"
                                      << "http://127.0.0.1:7001/dunmere/faceCheck/baiduFaceCheck";
    QTest::newRow("checkUrl not a string") << QByteArray(R"({"base": {"checkUrl": 7}})") << "checkUrl"
                                           << "http://127.0.0.1:7001/dunmere/faceCheck/baiduFaceCheck";
    QTest::newRow("accessKeyValue missing") << QByteArray(R"({"base": {}})") << "accessKeyValue"
                                            << "A7D2E90B3F6C4815B0E9D27C6A1F3E84";
    QTest::newRow("authUrl given") << QByteArray(R"({"base": {"authUrl": "https://a.example/auth"}})")
                                   << "authUrl"
                                   << "https://a.example/auth";
    QTest::newRow("validUrl empty string") << QByteArray(R"({"base": {"validUrl": ""}})") << "validUrl"
                                           << "";
}

void TestSettingsRefresher::baseMembers()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    server().setResponse(documentPath, LocalHttpResponse::json(document));
    SettingsRefresher refresher;
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);
    refresher.stop();

    const QHash<QString, QString> applied {
        {"collectTimer", QString::number(collectTimer.get())},
        {"verifyType", QString::number(verifyType.get())},
        {"checkUrl", checkUrl.get()},
        {"accessKeyValue", accessKeyValue.get()},
        {"authUrl", authUrl.get()},
        {"validUrl", validUrl.get()},
    };
    QCOMPARE(applied.value(key), expected);
    QVERIFY(fileHas(QStringLiteral("base/") + key));
    QCOMPARE(settingsValue(QStringLiteral("base/") + key), expected);
    // No "face" object: the thresholds keep their defaults.
    QCOMPARE(widthMin.get(), 180.0);
    QVERIFY(!fileHas("face/width"));
}

void TestSettingsRefresher::baseWithoutFileUrlMovesTheNextDownload()
{
    // The alternative document lies on port 80 of this machine; where that port
    // is taken, the move is checked without its arrival there.
    LocalHttpServer portEighty;
    const bool haveEighty = portEighty.listen(80);
    if (haveEighty)
        portEighty.setResponse("/pravonx/iccardURLTotal/facesetting.json",
            LocalHttpResponse::json(R"({"face": {"blur": "0|0.7"}})"));
    server().setResponse(documentPath, LocalHttpResponse::json(R"({"base": {"collectTimer": 4}})"));

    SettingsRefresher refresher(100);
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 2);
    refresher.stop();

    QCOMPARE(fileUrl.get(), QStringLiteral("http://127.0.0.1/pravonx/iccardURLTotal/facesetting.json"));
    QCOMPARE(settingsValue("base/fileUrl"), fileUrl.get());
    QCOMPARE(collectTimer.get(), 4);
    QCOMPARE(server().requestCount(), 1);
    if (haveEighty) {
        // Programs that other tests start may ask port 80 for the start-up path meanwhile.
        bool movedHere = false;
        for (const LocalHttpRequest &request : portEighty.requests())
            movedHere = movedHere || request.path() == "/pravonx/iccardURLTotal/facesetting.json";
        QVERIFY(movedHere);
        QCOMPARE(blurMax.get(), 0.7);
    } else {
        qInfo("port 80 is taken here; the download from the alternative path was not observed");
    }
}

void TestSettingsRefresher::downloadsThatChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");

    const QByteArray document = R"({"face": {"blur": "0|0.9"}, "base": {"collectTimer": 9}})";
    QTest::newRow("unreachable server") << "unreachable" << QByteArray() << "";
    QTest::newRow("error page holding a document") << "404" << document << "";
    QTest::newRow("server that never answers") << "silent" << document << "超时";
    QTest::newRow("not JSON") << "200" << QByteArray("<html>maintenance</html>") << "";
    QTest::newRow("truncated JSON") << "200" << QByteArray(R"({"face": {"blur": "0|0.9")") << "";
    QTest::newRow("JSON array") << "200" << QByteArray(R"([{"face": {"blur": "0|0.9"}}])") << "";
    QTest::newRow("neither member") << "200" << QByteArray(R"({"faces": {"blur": "0|0.9"}})") << "";
    QTest::newRow("face not an object")
        << "200" << QByteArray(R"({"face": "0|0.9", "base": {"collectTimer": 9}})") << "refused";
    QTest::newRow("base not an object")
        << "200" << QByteArray(R"({"face": {"blur": "0|0.9"}, "base": [9]})") << "refused";
}

void TestSettingsRefresher::downloadsThatChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);

    if (kind == QLatin1String("unreachable")) {
        fileUrl.set(
            QStringLiteral("http://127.0.0.1:%1/facesetting.json").arg(LocalHttpServer::unusedPort()));
    } else if (kind == QLatin1String("silent")) {
        LocalHttpResponse silence;
        silence.noAnswer = true;
        server().setResponse(documentPath, silence);
    } else {
        server().setResponse(documentPath, LocalHttpResponse::json(body, kind.toInt()));
    }
    const QVariantList before = allValues();

    SettingsRefresher refresher;
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);
    refresher.stop();

    QCOMPARE(allValues(), before);
    QVERIFY(!QFile::exists(path));
    if (!message.isEmpty()) {
        const QStringList seen = takeMessages();
        QVERIFY2(!seen.filter(message).isEmpty(), qPrintable(seen.join('\n')));
    }
}

void TestSettingsRefresher::everyPeriodDownloadsAgain()
{
    // Each download hands out another blur, so every cycle shows.
    std::atomic<int> served {0};
    server().setHandler([&served](const LocalHttpRequest &) {
        const int n = ++served;
        return LocalHttpResponse::json("{\"face\": {\"blur\": \"0|" + QByteArray::number(n) + "\"}}");
    });

    SettingsRefresher refresher(50);
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 4);
    refresher.stop();

    const int downloads = served.load();
    QVERIFY(downloads >= 4);
    QCOMPARE(refresher.completedCycles(), downloads);
    QCOMPARE(blurMax.get(), double(downloads));
    QCOMPARE(settingsValue("face/blur"), QStringLiteral("0|%1").arg(downloads));
}

void TestSettingsRefresher::stopWhileWaitingEndsAtOnce()
{
    server().setResponse(documentPath, LocalHttpResponse::json(R"({"base": {"verifyType": 3}})"));
    SettingsRefresher refresher; // waits 30 minutes after its first download
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);

    Stopper stopper(refresher);
    QTRY_VERIFY(stopper.isDone());
    QVERIFY(!refresher.isRunning());
    QCOMPARE(server().requestCount(), 1);
    QCOMPARE(verifyType.get(), 3);
}

void TestSettingsRefresher::stopDuringDownloadEndsAfterIt()
{
    LocalHttpResponse slow = LocalHttpResponse::json(R"({"base": {"verifyType": 7}})");
    slow.delayMs = 800;
    server().setResponse(documentPath, slow);

    SettingsRefresher refresher;
    refresher.start();
    QVERIFY(server().waitForRequests(1));
    QCOMPARE(server().answeredCount(), 0);

    std::atomic<int> answeredWhenStopped {-1};
    Stopper stopper(refresher, [&] { answeredWhenStopped = server().answeredCount(); });
    QTRY_VERIFY(stopper.isDone());
    // stop() came back only after the download had been answered and applied,
    // and no second cycle began.
    QCOMPARE(answeredWhenStopped.load(), 1);
    QCOMPARE(verifyType.get(), 7);
    QCOMPARE(refresher.completedCycles(), 1);
    QCOMPARE(server().requestCount(), 1);
}

void TestSettingsRefresher::stopRightAfterStart()
{
    server().setResponse(documentPath, LocalHttpResponse::json(R"({"base": {"verifyType": 5}})"));
    for (int round = 0; round < 20; ++round) {
        SettingsRefresher refresher;
        refresher.start();
        Stopper stopper(refresher);
        QTRY_VERIFY(stopper.isDone());
        QVERIFY(refresher.completedCycles() <= 1);
    }
    // A stopped refresher starts again.
    SettingsRefresher refresher;
    refresher.start();
    refresher.stop();
    refresher.start();
    QTRY_VERIFY(refresher.completedCycles() >= 1);
    refresher.stop();
    QVERIFY(!refresher.isRunning());
}

QTEST_GUILESS_MAIN(TestSettingsRefresher)
#include "tst_settingsrefresher.moc"
