#include "WebSocketClientManager.h"

#include "RunLog.h"

#include <QDebug>
#include <QUrl>
#include <QWebSocket>

WebSocketClientManager::WebSocketClientManager(QObject *parent)
    : QObject(parent)
{
}

WebSocketClientManager::~WebSocketClientManager() = default;

void WebSocketClientManager::slot_start()
{
    if (running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketClientManager::slot_start"
                 << "it's already running...";
        return;
    }
    if (!socket) {
        socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        connect(socket, &QWebSocket::connected, this, &WebSocketClientManager::slot_connected);
        connect(socket, &QWebSocket::disconnected, this, &WebSocketClientManager::slot_disconnected);
        connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            &WebSocketClientManager::slot_error);
        connect(
            socket, &QWebSocket::textFrameReceived, this, &WebSocketClientManager::slot_textFrameReceived);
        connect(socket, &QWebSocket::textMessageReceived, this,
            &WebSocketClientManager::slot_textMessageReceived);
    }
    running = true;
}

void WebSocketClientManager::slot_stop()
{
    if (!running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketClientManager::slot_stop"
                 << ", it's not running...";
        return;
    }
    running = false;
    socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
}

void WebSocketClientManager::slot_connectedTo(QString url)
{
    if (!running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketClientManager::slot_connectedTo"
                 << ", it's not running...";
        return;
    }
    socket->open(QUrl(url, QUrl::TolerantMode));
}

void WebSocketClientManager::slot_sendTextMessage(QString message)
{
    if (!running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketClientManager::slot_sendTextMessage"
                 << ", it's not running...";
        return;
    }
    socket->sendTextMessage(message);
    emit signal_sendTextMessageResult(true);
}

void WebSocketClientManager::slot_sendBinaryMessage(QByteArray data)
{
    if (!running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketClientManager::slot_sendBinaryMessage"
                 << ", it's not running...";
        return;
    }
    socket->sendBinaryMessage(data);
    emit signal_sendBinaryMessageResult(true);
}

void WebSocketClientManager::slot_connected()
{
    connected = true;
    qDebug() << TOLVANE_SOURCE << "connected";
    emit signal_connected();
}

void WebSocketClientManager::slot_disconnected()
{
    connected = false;
    qDebug() << TOLVANE_SOURCE << "disconnected";
    emit signal_disconnected();
}

void WebSocketClientManager::slot_error(QAbstractSocket::SocketError error)
{
    qDebug() << TOLVANE_SOURCE << int(error) << socket->errorString();
    emit signal_error(socket->errorString());
}

void WebSocketClientManager::slot_textFrameReceived(QString frame, bool isLastFrame)
{
    emit signal_textFrameReceived(frame, isLastFrame);
}

void WebSocketClientManager::slot_textMessageReceived(QString message)
{
    emit signal_textMessageReceived(message);
}
