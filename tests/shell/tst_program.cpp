#include "ProgramCopy.h"
#include "WsTestClient.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The program as a process, from a private copy of its folder.
class tst_Program : public QObject
{
    Q_OBJECT

private slots:
    void startsFromAnotherDirectoryAndServes();
};

void tst_Program::startsFromAnotherDirectoryAndServes()
{
    ProgramCopy copy;
    QVERIFY(copy.isValid());
    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QVERIFY(!QDir(copy.binDir() + QStringLiteral("/log")).exists());

    QProcess *process = copy.start(workDir.path());
    QCOMPARE(process->state(), QProcess::Running);
    QVERIFY(copy.waitUntilServing());

    for (const char *name : {"cardphoto", "log", "gatherPhoto", "facePhoto"})
        QVERIFY2(QDir(workDir.filePath(QLatin1String(name))).exists(), name);

    WsTestClient client;
    QVERIFY(client.open(10080));
    // The run log goes below the program's own folder, even on its first start
    // from elsewhere.
    QTRY_VERIFY(copy.runLog().contains(QStringLiteral("__newConnection__")));
    QVERIFY(copy.runLog().contains(QStringLiteral("WebSocketServer start success in: address:")));
    QVERIFY(!QFile::exists(workDir.filePath(QStringLiteral("log/RunLog.log"))));

    client.webSocket().close();
    copy.stop();
}

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
