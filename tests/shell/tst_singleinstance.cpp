#include "ProgramCopy.h"
#include "WsTestClient.h"

#include <QFileInfo>
#include <QTest>

// Single instance, with the program itself: private copies of its folder, each
// with its own temp folder and so its own local socket name space.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondStartEndsAtOnceAndFirstKeepsServing();
    void startAfterKillBecomesRunningInstance();

private:
    static int startAgain(const ProgramCopy &copy, const QStringList &arguments = {});
    static bool answersCardRequest();
};

int tst_SingleInstance::startAgain(const ProgramCopy &copy, const QStringList &arguments)
{
    QProcess second;
    second.setProcessEnvironment(copy.environment());
    second.setWorkingDirectory(copy.binDir());
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(copy.programPath(), arguments);
    if (!second.waitForFinished(20000)) {
        second.kill();
        second.waitForFinished();
        return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

bool tst_SingleInstance::answersCardRequest()
{
    WsTestClient client;
    if (!client.open(10080))
        return false;
    client.send(QStringLiteral("ID_CARD_RED"));
    return client.waitForMessages(1, 10000) && client.messages.first().startsWith(QLatin1Char('{'));
}

void tst_SingleInstance::secondStartEndsAtOnceAndFirstKeepsServing()
{
    ProgramCopy copy;
    QVERIFY(copy.isValid());
    QProcess *first = copy.start();
    QVERIFY(copy.waitUntilServing());

    QCOMPARE(startAgain(copy), 0);
    QCOMPARE(startAgain(copy, {QStringLiteral("--some"), QStringLiteral("argument")}), 0);
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(answersCardRequest());

    // The later starts built no window, bridge or server of their own.
    const QString log = copy.runLog();
    QCOMPARE(log.count(QStringLiteral("Another instance is running")), 2);
    QCOMPARE(
        log.count(QStringLiteral("WebSocketServer start success in: address: \"0.0.0.0\" port is : 10080")),
        1);
    QCOMPARE(copy.stop(), 0);
}

void tst_SingleInstance::startAfterKillBecomesRunningInstance()
{
    ProgramCopy copy;
    QVERIFY(copy.isValid());
    QProcess *crashed = copy.start();
    QVERIFY(copy.waitUntilServing());
    crashed->kill();
    QVERIFY(crashed->waitForFinished(5000));
#ifndef Q_OS_WIN
    // What a crash leaves behind: the socket file nobody listens on any more.
    QVERIFY(QFileInfo::exists(copy.tmpDir() + QStringLiteral("/Tolvane")));
#endif

    QProcess *next = copy.start();
    QVERIFY(copy.waitUntilServing());
    QVERIFY(answersCardRequest());
    // ... and it is the running instance that later starts find.
    QCOMPARE(startAgain(copy), 0);
    QCOMPARE(next->state(), QProcess::Running);
    QCOMPARE(copy.stop(), 0);
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
