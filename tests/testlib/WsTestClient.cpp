#include "WsTestClient.h"

#include <QTest>

WsTestClient::WsTestClient(QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QWebSocket::textMessageReceived, this, [this](const QString &message) {
        messages.append(message);
        emit messageReceived(message);
    });
    connect(&socket, &QWebSocket::disconnected, this, [this] { disconnected = true; });
}

WsTestClient::~WsTestClient() = default;

bool WsTestClient::open(const QUrl &url, int timeoutMs)
{
    disconnected = false;
    socket.open(url);
    return QTest::qWaitFor([this] { return isConnected() || disconnected; }, timeoutMs) && isConnected();
}

bool WsTestClient::open(quint16 port, int timeoutMs)
{
    return open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)), timeoutMs);
}

bool WsTestClient::waitForMessages(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return messages.size() >= count; }, timeoutMs);
}

bool WsTestClient::waitForDisconnected(int timeoutMs)
{
    return QTest::qWaitFor([this] { return disconnected; }, timeoutMs);
}
