#include "LocalHttpServer.h"
#include "ProgramCopy.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

// The program itself: started from another working directory with a Setup.ini
// in its own folder, it fetches that file's fileUrl and writes what it got back
// into the same file.
class TestProgramSettings : public QObject
{
    Q_OBJECT

private slots:
    void downloadedSettingsLandInTheProgramsFile();
};

void TestProgramSettings::downloadedSettingsLandInTheProgramsFile()
{
    LocalHttpServer server;
    QVERIFY(server.listen());
    const QString url = server.url(QStringLiteral("/deploy/facesetting.json"));
    server.setResponse("/deploy/facesetting.json",
        LocalHttpResponse::json(R"({"face": {"blur": "0|0.45", "rotation": "-7|7"}, )"
                                R"("base": {"collectTimer": 3, "verifyType": 1, "fileUrl": ")"
            + url.toUtf8() + R"("}})"));

    ProgramCopy program;
    QVERIFY(program.isValid());
    const QString settingsPath = program.binDir() + QStringLiteral("/Setup.ini");
    {
        QFile file(settingsPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // The query marks the start-up value; the server hands out the plain URL.
        file.write("[base]\nfileUrl=" + url.toUtf8() + "?start\nmyOwnKey=keep me\n");
    }
    const QString workDir = program.root() + QStringLiteral("/elsewhere");
    QVERIFY(QDir().mkpath(workDir));

    QProcess *process = program.start(workDir);
    QVERIFY(process->state() == QProcess::Running);
    QVERIFY(server.waitForRequests(1, 20000));

    auto stored = [&settingsPath](const char *key) {
        QSettings file(settingsPath, QSettings::IniFormat);
        file.setIniCodec("UTF-8");
        return file.value(QLatin1String(key)).toString();
    };
    // base/fileUrl is the last entry the refresher writes.
    QTRY_COMPARE_WITH_TIMEOUT(stored("base/fileUrl"), url, 10000);
    QCOMPARE(stored("face/blur"), QStringLiteral("0|0.45"));
    QCOMPARE(stored("face/rotation"), QStringLiteral("-7|7"));
    QCOMPARE(stored("face/width"), QString());
    QCOMPARE(stored("base/collectTimer"), QStringLiteral("3"));
    QCOMPARE(
        stored("base/checkUrl"), QStringLiteral("http://127.0.0.1:7001/dunmere/faceCheck/baiduFaceCheck"));
    QCOMPARE(stored("base/myOwnKey"), QStringLiteral("keep me"));
    QVERIFY(!QFile::exists(workDir + QStringLiteral("/Setup.ini")));
    QCOMPARE(server.requests().value(0).target, QByteArray("/deploy/facesetting.json?start"));

    program.stop();
    const QString log = program.runLog();
    // Qt's complaints about objects used from a thread they do not belong to.
    // (The tray icon's X11 helper looks for a signal that the offscreen platform
    // lacks; that warning says nothing about threads.)
    const QRegularExpression crossThread(
        QStringLiteral("different thread|another thread|QObject::(?!connect: No such signal "
                       "QPlatformNativeInterface::systemTrayWindowChanged)"));
    QVERIFY2(!log.contains(crossThread), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestProgramSettings)
#include "tst_programsettings.moc"
