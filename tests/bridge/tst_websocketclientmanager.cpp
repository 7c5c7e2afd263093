#include "LogCapture.h"
#include "WebSocketClientManager.h"
#include "WebSocketServerManager.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {

LogCapture &log()
{
    static LogCapture capture;
    return capture;
}

bool wasLogged(const QString &needle)
{
    return !log().linesWith(needle).isEmpty();
}

} // namespace

class tst_WebSocketClientManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { log(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void callsWhileNotRunningOnlyLog_data();
    void callsWhileNotRunningOnlyLog();
    void talksToTheServerManager();
    void stopClosesWithNormalClosure();
    void connectionErrorIsReported();
};

void tst_WebSocketClientManager::callsWhileNotRunningOnlyLog_data()
{
    QTest::addColumn<QString>("call");
    QTest::newRow("stop") << "WebSocketClientManager::slot_stop";
    QTest::newRow("connectedTo") << "WebSocketClientManager::slot_connectedTo";
    QTest::newRow("sendTextMessage") << "WebSocketClientManager::slot_sendTextMessage";
    QTest::newRow("sendBinaryMessage") << "WebSocketClientManager::slot_sendBinaryMessage";
}

void tst_WebSocketClientManager::callsWhileNotRunningOnlyLog()
{
    QFETCH(QString, call);
    log().clear();
    WebSocketClientManager client;
    QSignalSpy textResult(&client, &WebSocketClientManager::signal_sendTextMessageResult);
    QSignalSpy binaryResult(&client, &WebSocketClientManager::signal_sendBinaryMessageResult);
    if (call.endsWith(QLatin1String("slot_stop")))
        client.slot_stop();
    else if (call.endsWith(QLatin1String("slot_connectedTo")))
        client.slot_connectedTo(QStringLiteral("ws://127.0.0.1:1"));
    else if (call.endsWith(QLatin1String("slot_sendTextMessage")))
        client.slot_sendTextMessage(QStringLiteral("x"));
    else
        client.slot_sendBinaryMessage(QByteArray("x"));
    QVERIFY(wasLogged(QStringLiteral("Failed to ") + call + QStringLiteral(" , it's not running...")));
    QVERIFY(textResult.isEmpty());
    QVERIFY(binaryResult.isEmpty());
    QVERIFY(!client.isRunning());
}

void tst_WebSocketClientManager::talksToTheServerManager()
{
    WebSocketServerManager server(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
    QSignalSpy serverReceived(&server, &WebSocketServerManager::signal_textMessageReceived);
    QSignalSpy serverGone(&server, &WebSocketServerManager::signal_disconncted);
    server.slot_start(QHostAddress::LocalHost, 0);

    WebSocketClientManager client;
    QSignalSpy connected(&client, &WebSocketClientManager::signal_connected);
    QSignalSpy disconnected(&client, &WebSocketClientManager::signal_disconnected);
    QSignalSpy received(&client, &WebSocketClientManager::signal_textMessageReceived);
    QSignalSpy sent(&client, &WebSocketClientManager::signal_sendTextMessageResult);
    QSignalSpy sentBinary(&client, &WebSocketClientManager::signal_sendBinaryMessageResult);

    client.slot_start();
    client.slot_start();
    QVERIFY(wasLogged(QStringLiteral("WebSocketClientManager::slot_start it's already running...")));
    client.slot_connectedTo(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()));
    QTRY_COMPARE(connected.count(), 1);
    QVERIFY(client.isConnected());

    client.slot_sendBinaryMessage(QByteArray("ignored by the server"));
    client.slot_sendTextMessage(QStringLiteral("ID_CARD_RED"));
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.first().first().toBool(), true);
    QCOMPARE(sentBinary.count(), 1);
    QTRY_COMPARE(serverReceived.count(), 1);
    QCOMPARE(serverReceived.first().at(2).toString(), QStringLiteral("ID_CARD_RED"));

    server.slot_sendData(serverReceived.first().at(0).toString(), serverReceived.first().at(1).toInt(),
        QStringLiteral("false"));
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.first().first().toString(), QStringLiteral("false"));

    client.slot_stop();
    QTRY_COMPARE(disconnected.count(), 1);
    QVERIFY(!client.isConnected());
    QTRY_COMPARE(serverGone.count(), 1);
    client.slot_stop();
    QVERIFY(wasLogged(QStringLiteral("WebSocketClientManager::slot_stop , it's not running...")));

    // A stopped manager starts again with the same socket.
    client.slot_start();
    client.slot_connectedTo(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()));
    QTRY_COMPARE(connected.count(), 2);
}

// The server manager does not show a client's close code; a bare server does.
void tst_WebSocketClientManager::stopClosesWithNormalClosure()
{
    QWebSocketServer server(QStringLiteral("peer"), QWebSocketServer::NonSecureMode);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy accepted(&server, &QWebSocketServer::newConnection);

    WebSocketClientManager client;
    client.slot_start();
    client.slot_connectedTo(QStringLiteral("ws://127.0.0.1:%1").arg(server.serverPort()));
    QTRY_COMPARE(accepted.count(), 1);
    QScopedPointer<QWebSocket> peer(server.nextPendingConnection());
    QVERIFY(peer);
    QSignalSpy peerGone(peer.data(), &QWebSocket::disconnected);

    client.slot_stop();
    QTRY_COMPARE(peerGone.count(), 1);
    QCOMPARE(peer->closeCode(), QWebSocketProtocol::CloseCodeNormal);
    QVERIFY(!client.isRunning());
}

void tst_WebSocketClientManager::connectionErrorIsReported()
{
    WebSocketServerManager server(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
    server.slot_start(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.slot_stop();

    WebSocketClientManager client;
    QSignalSpy errors(&client, &WebSocketClientManager::signal_error);
    client.slot_start();
    client.slot_connectedTo(QStringLiteral("ws://127.0.0.1:%1").arg(port));
    QTRY_VERIFY(!errors.isEmpty());
    QVERIFY(!errors.first().first().toString().isEmpty());
}

QTEST_GUILESS_MAIN(tst_WebSocketClientManager)
#include "tst_websocketclientmanager.moc"
