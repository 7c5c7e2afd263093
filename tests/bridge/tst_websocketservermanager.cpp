#include "LogCapture.h"
#include "WebSocketServerManager.h"
#include "WsTestClient.h"

#include <QMutex>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

// Log messages of the code under test, from every thread, for the whole run.
LogCapture &log()
{
    static LogCapture capture;
    return capture;
}

int capturedCount(const QString &needle)
{
    return log().linesWith(needle).size();
}

} // namespace

class tst_WebSocketServerManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void eachClientGetsOnlyItsOwnReplies();
    void secondStartKeepsListening();
    void failedListenLeavesManagerStopped_data();
    void failedListenLeavesManagerStopped();
    void stopClosesEveryClientWithNormalClosure();
    void restartAfterStop();
    void destructionSaysGoodbyeToClients();
    void replyForGoneClientCausesNothing();
    void oversizedMessageClosesOnlyItsConnection_data();
    void oversizedMessageClosesOnlyItsConnection();
    void startAndSendFromOtherThreadsWhileClientsComeAndGo();

private:
    static WebSocketServerManager *newManager()
    {
        return new WebSocketServerManager(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
    }
};

void tst_WebSocketServerManager::initTestCase()
{
    log();
}

void tst_WebSocketServerManager::init()
{
    log().clear();
}

// The server goes by deferred deletion; so do the sockets it closed.
void tst_WebSocketServerManager::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_WebSocketServerManager::eachClientGetsOnlyItsOwnReplies()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    QSignalSpy connected(manager.data(), &WebSocketServerManager::signal_conncted);
    QSignalSpy received(manager.data(), &WebSocketServerManager::signal_textMessageReceived);
    // Every interface, as the bridge starts it: IPv4 peers may appear in mapped form.
    manager->slot_start(QHostAddress::Any, 0);
    QVERIFY(manager->isRunning());
    QCOMPARE(capturedCount(QStringLiteral("WebSocketServer start success in: address:")), 1);

    WsTestClient first, second;
    QVERIFY(first.open(manager->serverPort()));
    QVERIFY(second.open(manager->serverPort()));
    QTRY_COMPARE(connected.count(), 2);
    QCOMPARE(capturedCount(QStringLiteral("__newConnection__")), 2);

    first.send(QStringLiteral("from first"));
    second.send(QStringLiteral("from second"));
    QTRY_COMPARE(received.count(), 2);

    for (const QList<QVariant> &args : qAsConst(received)) {
        const QString ip = args.at(0).toString();
        const uint port = args.at(1).toUInt();
        const QString message = args.at(2).toString();
        WsTestClient &sender = message == QLatin1String("from first") ? first : second;
        QCOMPARE(port, uint(sender.localPort()));
        QVERIFY2(QHostAddress(ip).isLoopback(), qPrintable(ip));
        manager->slot_sendData(ip, int(port), QStringLiteral("reply to ") + message);
    }
    QVERIFY(first.waitForMessages(1));
    QVERIFY(second.waitForMessages(1));
    // A port outside the TCP range names no client, not the one it wraps around to.
    const QList<QVariant> &fromFirst = received.first().at(2).toString() == QLatin1String("from first")
        ? received.first()
        : received.last();
    manager->slot_sendData(
        fromFirst.at(0).toString(), fromFirst.at(1).toInt() + 65536, QStringLiteral("wrapped"));
    manager->slot_sendData(
        fromFirst.at(0).toString(), fromFirst.at(1).toInt() - 65536, QStringLiteral("wrapped"));
    // A further round trip proves no stray reply was still on its way.
    first.send(QStringLiteral("again"));
    QTRY_COMPARE(received.count(), 3);
    manager->slot_sendData(
        received.last().at(0).toString(), received.last().at(1).toInt(), QStringLiteral("done"));
    QVERIFY(first.waitForMessages(2));
    QCOMPARE(first.messages, QStringList({QStringLiteral("reply to from first"), QStringLiteral("done")}));
    QCOMPARE(second.messages, QStringList({QStringLiteral("reply to from second")}));
}

void tst_WebSocketServerManager::secondStartKeepsListening()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    manager->slot_start(QHostAddress::LocalHost, 0);
    const quint16 port = manager->serverPort();
    manager->slot_start(QHostAddress::LocalHost, 0);
    manager->slot_start();
    QCOMPARE(capturedCount(QStringLiteral("it's already running...")), 2);
    QCOMPARE(capturedCount(QStringLiteral("WebSocketServer start success in:")), 1);
    QCOMPARE(manager->serverPort(), port);

    WsTestClient client;
    QVERIFY(client.open(port));
}

void tst_WebSocketServerManager::failedListenLeavesManagerStopped_data()
{
    // The port is one held by another socket, or a free one shifted out of the
    // TCP range (it must not wrap around to the free one).
    QTest::addColumn<int>("shift");
    QTest::newRow("port held by another socket") << 0;
    QTest::newRow("port above 65535") << 65536;
    QTest::newRow("negative port") << -65536;
}

void tst_WebSocketServerManager::failedListenLeavesManagerStopped()
{
    QFETCH(int, shift);
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    int port = holder.serverPort();
    if (shift != 0) {
        holder.close();
        port += shift;
    }
    QScopedPointer<WebSocketServerManager> manager(newManager());
    manager->slot_start(QHostAddress::LocalHost, port);
    QVERIFY(!manager->isRunning());
    QCOMPARE(capturedCount(QStringLiteral("start success")), 0);
    QCOMPARE(capturedCount(QStringLiteral("WebSocketServer failed to listen on address:")), 1);
    manager->slot_stop();
    QCOMPARE(capturedCount(QStringLiteral(", it's not running...")), 1);
}

void tst_WebSocketServerManager::stopClosesEveryClientWithNormalClosure()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    QSignalSpy closed(manager.data(), &WebSocketServerManager::signal_close);
    manager->slot_start(QHostAddress::LocalHost, 0);
    const quint16 port = manager->serverPort();
    WsTestClient first, second;
    QVERIFY(first.open(port));
    QVERIFY(second.open(port));

    manager->slot_stop();
    QVERIFY(!manager->isRunning());
    QVERIFY(first.waitForDisconnected());
    QVERIFY(second.waitForDisconnected());
    QCOMPARE(first.webSocket().closeCode(), QWebSocketProtocol::CloseCodeNormal);
    QCOMPARE(second.webSocket().closeCode(), QWebSocketProtocol::CloseCodeNormal);
    QCOMPARE(closed.count(), 1);

    WsTestClient late;
    QVERIFY(!late.open(port, 1000));
}

void tst_WebSocketServerManager::restartAfterStop()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    manager->slot_start(QHostAddress::LocalHost, 0);
    manager->slot_stop();
    manager->slot_start(QHostAddress::LocalHost, 0);
    QVERIFY(manager->isRunning());
    QSignalSpy received(manager.data(), &WebSocketServerManager::signal_textMessageReceived);
    WsTestClient client;
    QVERIFY(client.open(manager->serverPort()));
    client.send(QStringLiteral("hello"));
    QTRY_COMPARE(received.count(), 1);
}

// The server's sockets do not belong to it in Qt; they must still go with the
// manager, with a close frame, not by losing their connection under them.
void tst_WebSocketServerManager::destructionSaysGoodbyeToClients()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    manager->slot_start(QHostAddress::LocalHost, 0);
    WsTestClient first, second;
    QVERIFY(first.open(manager->serverPort()));
    QVERIFY(second.open(manager->serverPort()));
    QTRY_COMPARE(capturedCount(QStringLiteral("__newConnection__")), 2);

    manager.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.waitForDisconnected());
    QVERIFY(second.waitForDisconnected());
    QCOMPARE(first.webSocket().closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
    QCOMPARE(second.webSocket().closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
}

void tst_WebSocketServerManager::replyForGoneClientCausesNothing()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    QSignalSpy received(manager.data(), &WebSocketServerManager::signal_textMessageReceived);
    QSignalSpy gone(manager.data(), &WebSocketServerManager::signal_disconncted);
    manager->slot_start(QHostAddress::LocalHost, 0);
    WsTestClient leaving, staying;
    QVERIFY(leaving.open(manager->serverPort()));
    QVERIFY(staying.open(manager->serverPort()));

    leaving.send(QStringLiteral("ID_CARD_RED"));
    QTRY_COMPARE(received.count(), 1);
    const QString ip = received.first().at(0).toString();
    const int port = received.first().at(1).toInt();
    leaving.webSocket().close();
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(gone.first().at(1).toInt(), port);
    QCOMPARE(capturedCount(QStringLiteral("WebSocketServerManager::slot_disconnected")), 1);

    manager->slot_sendData(ip, port, QStringLiteral("late reply"));
    manager->slot_sendData(QString(), 0, QStringLiteral("reply for the program's own page"));

    staying.send(QStringLiteral("still here"));
    QTRY_COMPARE(received.count(), 2);
    manager->slot_sendData(
        received.last().at(0).toString(), received.last().at(1).toInt(), QStringLiteral("ok"));
    QVERIFY(staying.waitForMessages(1));
    QCOMPARE(staying.messages, QStringList {QStringLiteral("ok")});
    QVERIFY(leaving.messages.isEmpty());
}

void tst_WebSocketServerManager::oversizedMessageClosesOnlyItsConnection_data()
{
    QTest::addColumn<bool>("binary");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("refused");
    QTest::newRow("text at the limit") << false << 64 * 1024 << false;
    QTest::newRow("text over the limit") << false << 64 * 1024 + 1 << true;
    QTest::newRow("text of a megabyte") << false << 1024 * 1024 << true;
    QTest::newRow("small binary, ignored") << true << 100 << false;
    QTest::newRow("binary over the limit") << true << 64 * 1024 + 1 << true;
}

void tst_WebSocketServerManager::oversizedMessageClosesOnlyItsConnection()
{
    QFETCH(bool, binary);
    QFETCH(int, size);
    QFETCH(bool, refused);

    QScopedPointer<WebSocketServerManager> manager(newManager());
    QSignalSpy received(manager.data(), &WebSocketServerManager::signal_textMessageReceived);
    manager->slot_start(QHostAddress::LocalHost, 0);
    WsTestClient sender, bystander;
    QVERIFY(sender.open(manager->serverPort()));
    QVERIFY(bystander.open(manager->serverPort()));

    if (binary)
        sender.webSocket().sendBinaryMessage(QByteArray(size, 'x'));
    else
        sender.send(QString(size, QLatin1Char('x')));
    sender.send(QStringLiteral("after"));

    if (refused) {
        QVERIFY(sender.waitForDisconnected());
        QCOMPARE(int(sender.webSocket().closeCode()), int(QWebSocketProtocol::CloseCodeTooMuchData));
        QTRY_COMPARE(capturedCount(QStringLiteral("connection closed with 1009")), 1);
    } else {
        // The next message proves the first was handled (or ignored) before it.
        QTRY_VERIFY(!received.isEmpty() && received.last().at(2).toString() == QLatin1String("after"));
        QCOMPARE(received.count(), binary ? 1 : 2);
        if (!binary)
            QCOMPARE(received.first().at(2).toString().size(), size);
        QVERIFY(sender.isConnected());
    }

    const int before = received.count();
    bystander.send(QStringLiteral("bystander"));
    QTRY_COMPARE(received.count(), before + 1);
    manager->slot_sendData(
        received.last().at(0).toString(), received.last().at(1).toInt(), QStringLiteral("served"));
    QVERIFY(bystander.waitForMessages(1));
}

// The server and its sockets live on a bridge thread; replies are sent from yet
// another thread, while clients keep connecting and leaving.
void tst_WebSocketServerManager::startAndSendFromOtherThreadsWhileClientsComeAndGo()
{
    QScopedPointer<WebSocketServerManager> manager(newManager());
    QThread bridge;
    bridge.start();
    QObject onBridge;
    onBridge.moveToThread(&bridge);
    QMetaObject::invokeMethod(
        &onBridge, [&] { manager->slot_start(QHostAddress::LocalHost, 0); }, Qt::BlockingQueuedConnection);
    QVERIFY(manager->isRunning());
    const quint16 port = manager->serverPort();

    QMutex keysMutex;
    QList<QPair<QString, int>> keys;
    connect(manager.data(), &WebSocketServerManager::signal_textMessageReceived, this,
        [&](const QString &ip, uint clientPort, const QString &) {
            QMutexLocker locker(&keysMutex);
            keys.append({ip, int(clientPort)});
        });
    // Keys of clients that left stay in the list for a while: replies to them
    // must be dropped quietly.
    connect(manager.data(), &WebSocketServerManager::signal_disconncted, this, [&](const QString &, int) {
        QMutexLocker locker(&keysMutex);
        while (keys.size() > 3)
            keys.removeFirst();
    });

    std::atomic<bool> done {false};
    std::atomic<int> sends {0};
    std::thread replier([&] {
        while (!done) {
            QList<QPair<QString, int>> snapshot;
            {
                QMutexLocker locker(&keysMutex);
                snapshot = keys;
            }
            for (const auto &key : qAsConst(snapshot)) {
                manager->slot_sendData(key.first, key.second, QStringLiteral("reply"));
                ++sends;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    int answered = 0;
    for (int round = 0; round < 30; ++round) {
        WsTestClient client;
        QVERIFY(client.open(port));
        client.send(QStringLiteral("hello"));
        if (client.waitForMessages(1))
            ++answered;
        if (round % 3 == 0) {
            // Also from the thread that owns the sockets.
            QMetaObject::invokeMethod(
                &onBridge,
                [&] {
                    QMutexLocker locker(&keysMutex);
                    if (!keys.isEmpty())
                        manager->slot_sendData(keys.last().first, keys.last().second, QStringLiteral("x"));
                },
                Qt::BlockingQueuedConnection);
        }
        client.webSocket().close();
        QVERIFY(client.waitForDisconnected());
    }
    done = true;
    replier.join();
    QCOMPARE(answered, 30);
    QVERIFY(sends > 0);

    QMetaObject::invokeMethod(
        &onBridge, [&] { manager.reset(); }, Qt::BlockingQueuedConnection);
    bridge.quit();
    bridge.wait();
}

QTEST_GUILESS_MAIN(tst_WebSocketServerManager)
#include "tst_websocketservermanager.moc"
