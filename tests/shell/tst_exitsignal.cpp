#include "ProgramCopy.h"
#include "WsTestClient.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

// The program as a process ended by the signals a session logout or Ctrl+C
// sends: it ends like its exit action, with 0, its clients closed with 1000 and
// the card reader closed.
class tst_ExitSignal : public QObject
{
    Q_OBJECT

private slots:
    void endsCleanly_data();
    void endsCleanly();
    void readerBusyAtTheEndDoesNotHoldTheProgram();

private:
    static QString writeSimulation(const ProgramCopy &copy, const QJsonObject &simulation);
};

QString tst_ExitSignal::writeSimulation(const ProgramCopy &copy, const QJsonObject &simulation)
{
    const QString path = copy.root() + QStringLiteral("/reader.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QJsonDocument(simulation).toJson());
    return path;
}

void tst_ExitSignal::endsCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
#ifdef Q_OS_UNIX
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
#endif
}

void tst_ExitSignal::endsCleanly()
{
#ifndef Q_OS_UNIX
    QSKIP("POSIX signals only");
#else
    QFETCH(int, signalNumber);

    ProgramCopy copy;
    QVERIFY(copy.isValid());
    const QString trace = copy.root() + QStringLiteral("/trace.txt");
    const QString simulation = writeSimulation(copy, QJsonObject {{QStringLiteral("trace"), trace}});
    QVERIFY(!simulation.isEmpty());
    QProcessEnvironment env = copy.environment();
    env.insert(QStringLiteral("SDTAPI_SIM"), simulation);
    QProcess *program = copy.start(QString(), {}, env);
    QVERIFY(copy.waitUntilServing());

    WsTestClient client;
    QVERIFY(client.open(10080));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1, 10000));

    QCOMPARE(::kill(pid_t(program->processId()), signalNumber), 0);
    QVERIFY(client.waitForDisconnected(10000));
    QCOMPARE(client.webSocket().closeCode(), QWebSocketProtocol::CloseCodeNormal);
    // The client's wait ran the event loop, which may have seen the end already.
    QTRY_COMPARE_WITH_TIMEOUT(program->state(), QProcess::NotRunning, 10000);
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);

    QFile calls(trace);
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = calls.readAll().trimmed().split('\n');
    QCOMPARE(lines.last(), QByteArray("CloseComm"));
    QVERIFY(copy.runLog().contains(QStringLiteral("Exit requested by a signal")));
#endif
}

void tst_ExitSignal::readerBusyAtTheEndDoesNotHoldTheProgram()
{
#ifndef Q_OS_UNIX
    QSKIP("POSIX signals only");
#else
    ProgramCopy copy;
    QVERIFY(copy.isValid());
    // A reader that takes far longer than the program waits for its bridge.
    const QString trace = copy.root() + QStringLiteral("/trace.txt");
    const QString simulation = writeSimulation(
        copy, QJsonObject {{QStringLiteral("delayMs"), 30000}, {QStringLiteral("trace"), trace}});
    QVERIFY(!simulation.isEmpty());
    QProcessEnvironment env = copy.environment();
    env.insert(QStringLiteral("SDTAPI_SIM"), simulation);
    QProcess *program = copy.start(QString(), {}, env);
    QVERIFY(copy.waitUntilServing());

    WsTestClient client;
    QVERIFY(client.open(10080));
    client.send(QStringLiteral("ID_CARD_RED"));
    // The stand-in notes the call before it makes the caller wait.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(trace), 10000);

    QCOMPARE(::kill(pid_t(program->processId()), SIGTERM), 0);
    QTRY_COMPARE_WITH_TIMEOUT(program->state(), QProcess::NotRunning, 15000);
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QVERIFY(copy.runLog().contains(QStringLiteral("The bridge thread did not end within 3000 ms")));
#endif
}

QTEST_GUILESS_MAIN(tst_ExitSignal)
#include "tst_exitsignal.moc"
