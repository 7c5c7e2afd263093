#include "WebSocketServerManager.h"

#include "ClientTcpServer.h"
#include "RunLog.h"

#include <QDebug>
#include <QPointer>
#include <QThread>
#include <QWebSocket>

namespace {

// Runs `call` on the thread that owns `target`: at once when that is this
// thread, otherwise blocking until it has run there (or queued, when that
// thread has no running event loop to run it).
template<typename Call> void runOnOwnerThread(QObject *target, Call call)
{
    QThread *owner = target->thread();
    if (owner == QThread::currentThread()) {
        call();
    } else if (owner && owner->isRunning()) {
        QMetaObject::invokeMethod(target, call, Qt::BlockingQueuedConnection);
    } else {
        QMetaObject::invokeMethod(target, call, Qt::QueuedConnection);
    }
}

} // namespace

WebSocketServerManager::WebSocketServerManager(
    const QString &serverName, QWebSocketServer::SslMode secureMode, QObject *parent)
    : QObject(parent)
    , serverName(serverName)
    , secureMode(secureMode)
{
}

WebSocketServerManager::~WebSocketServerManager()
{
    {
        QMutexLocker locker(&clientsMutex);
        clients.clear();
    }
    if (server) {
        server->disconnect(this);
        // The client sockets go first: the listener, a child of the server too,
        // holds their TCP connections.
        QWebSocketServer *doomed = server;
        const auto release = [doomed] {
            const QList<QWebSocket *> sockets
                = doomed->findChildren<QWebSocket *>(QString(), Qt::FindDirectChildrenOnly);
            // A thread that is ending (the worker's destruction at the program's
            // end) processes no more deferred deletions.
            if (!QThread::currentThread()->isRunning()) {
                qDeleteAll(sockets);
                delete doomed;
                return;
            }
            for (QWebSocket *socket : sockets)
                socket->deleteLater();
            doomed->deleteLater();
        };
        // Never waits for the server's thread, which may be waiting for this one.
        if (doomed->thread() == QThread::currentThread())
            release();
        else
            QMetaObject::invokeMethod(doomed, release, Qt::QueuedConnection);
        server = nullptr;
        listener = nullptr;
    }
}

quint16 WebSocketServerManager::serverPort() const
{
    return listener && running ? listener->serverPort() : 0;
}

QString WebSocketServerManager::clientKey(const QString &ip, int port)
{
    return QStringLiteral("%1-%2").arg(ip).arg(port);
}

void WebSocketServerManager::slot_start(QHostAddress hostAddress, int port)
{
    if (running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketServerManager::slot_start"
                 << "it's already running...";
        return;
    }
    if (!server) {
        // Created on the caller's thread: the server and every socket it accepts
        // belong to that thread's event loop.
        server = new QWebSocketServer(serverName, secureMode);
        // Direct connections: each new socket is wired and limited on its own
        // thread before that thread's event loop can deliver its first message.
        connect(server, &QWebSocketServer::newConnection, this, &WebSocketServerManager::slot_newConnection,
            Qt::DirectConnection);
        connect(server, &QWebSocketServer::closed, this, &WebSocketServerManager::slot_closed,
            Qt::DirectConnection);
        connect(server, &QWebSocketServer::serverError, this, &WebSocketServerManager::slot_serverError,
            Qt::DirectConnection);
        listener = new ClientTcpServer(server);
        QWebSocketServer *upgrader = server;
        ClientTcpServer *tcp = listener;
        connect(listener, &QTcpServer::newConnection, server, [upgrader, tcp] {
            while (QTcpSocket *socket = tcp->nextPendingConnection())
                upgrader->handleConnection(socket);
        });
    }
    this->hostAddress = hostAddress;
    this->port = port;
    runOnOwnerThread(server, [this] { listen(); });
}

void WebSocketServerManager::listen()
{
    // A port outside the TCP range must not wrap around to another port.
    const bool isTcpPort = port >= 0 && port <= 65535;
    if (!isTcpPort || !listener->listen(hostAddress, quint16(port))) {
        qWarning() << TOLVANE_SOURCE
                   << "WebSocketServer failed to listen on address:" << hostAddress.toString()
                   << "port is :" << port
                   << (isTcpPort ? listener->errorString() : QStringLiteral("no TCP port"));
        return;
    }
    running = true;
    qInfo() << TOLVANE_SOURCE << "WebSocketServer start success in: address:" << hostAddress.toString()
            << "port is :" << port;
}

void WebSocketServerManager::slot_stop()
{
    if (!running) {
        qDebug() << TOLVANE_SOURCE << "Failed to"
                 << "WebSocketServerManager::slot_stop"
                 << ", it's not running...";
        return;
    }
    running = false;
    runOnOwnerThread(server, [this] {
        listener->close();
        server->close();
        // The server reports `closed` through its thread's event queue. A thread
        // that is ending (the worker's destruction at the program's end) runs no
        // event loop any more, so its clients are closed right here.
        if (!QThread::currentThread()->isRunning())
            closeClients(true);
    });
}

void WebSocketServerManager::closeClients(bool withoutEventLoop)
{
    QList<QWebSocket *> sockets;
    {
        QMutexLocker locker(&clientsMutex);
        sockets = clients.values();
        clients.clear();
    }
    for (QWebSocket *socket : qAsConst(sockets)) {
        socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
        if (withoutEventLoop) {
            // No event loop will send the close frame or wait for the answer: the
            // frame goes out now, followed by the end of the connection.
            socket->flush();
            socket->abort();
        }
    }
    emit signal_close();
}

void WebSocketServerManager::slot_sendData(QString ip, int port, QString message)
{
    QMutexLocker locker(&clientsMutex);
    // The key is made of the port as given: one outside the TCP range names no client.
    QWebSocket *socket = clients.value(clientKey(ip, port));
    if (!socket)
        return;
    if (socket->thread() == QThread::currentThread()) {
        locker.unlock();
        socket->sendTextMessage(message);
        return;
    }
    // Posted while the table still holds the socket: it is removed from the
    // table before it is deleted, and a posted call dies with its socket.
    QMetaObject::invokeMethod(
        socket, [socket, message] { socket->sendTextMessage(message); }, Qt::QueuedConnection);
}

void WebSocketServerManager::slot_newConnection()
{
    QWebSocket *socket = server->nextPendingConnection();
    if (!socket)
        return;
    socket->setMaxAllowedIncomingFrameSize(quint64(maxMessageSize));
    socket->setMaxAllowedIncomingMessageSize(quint64(maxMessageSize));
    // The server hands its sockets out without a parent; as its children they
    // are found and deleted with it, should they outlive this manager.
    socket->setParent(server);
    // The socket is the context of each connection: the handlers run on its
    // thread, which need not be this manager's (where sender() would be null).
    const QPointer<WebSocketServerManager> self(this);
    connect(socket, &QWebSocket::disconnected, socket, [self, socket] {
        if (self)
            self->clientDisconnected(socket);
    });
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), socket,
        [self, socket](QAbstractSocket::SocketError) {
            if (self)
                self->clientError(socket);
        });
    connect(socket, &QWebSocket::textMessageReceived, socket, [self, socket](const QString &message) {
        if (self)
            self->clientTextMessage(socket, message);
    });

    const QString ip = socket->peerAddress().toString();
    const quint16 peerPort = socket->peerPort();
    {
        QMutexLocker locker(&clientsMutex);
        clients.insert(clientKey(ip, peerPort), socket);
    }
    qInfo() << TOLVANE_SOURCE << "__newConnection__" << ip << peerPort;
    emit signal_conncted(ip, peerPort);
}

void WebSocketServerManager::slot_serverError(QWebSocketProtocol::CloseCode closeCode)
{
    // A handshake error of the listening server names no client; it is noted only.
    qDebug() << TOLVANE_SOURCE << "WebSocketServerManager::slot_serverError" << int(closeCode)
             << server->errorString();
}

void WebSocketServerManager::slot_closed()
{
    closeClients(false);
}

void WebSocketServerManager::slot_disconnected()
{
    if (auto *socket = qobject_cast<QWebSocket *>(sender()))
        clientDisconnected(socket);
}

void WebSocketServerManager::slot_error(QAbstractSocket::SocketError error)
{
    Q_UNUSED(error)
    if (auto *socket = qobject_cast<QWebSocket *>(sender()))
        clientError(socket);
}

void WebSocketServerManager::slot_textFrameReceived(QString frame, bool isLastFrame)
{
    auto *socket = qobject_cast<QWebSocket *>(sender());
    if (!socket)
        return;
    qDebug() << TOLVANE_SOURCE << frame << isLastFrame;
    emit signal_textFrameReceived(socket->peerAddress().toString(), socket->peerPort(), frame, isLastFrame);
}

void WebSocketServerManager::slot_textMessageReceived(QString message)
{
    if (auto *socket = qobject_cast<QWebSocket *>(sender()))
        clientTextMessage(socket, message);
}

void WebSocketServerManager::clientDisconnected(QWebSocket *socket)
{
    const QString ip = socket->peerAddress().toString();
    const quint16 peerPort = socket->peerPort();
    qDebug() << TOLVANE_SOURCE << "WebSocketServerManager::slot_disconnected";
    if (socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData) {
        qWarning() << TOLVANE_SOURCE << "Refused a message over" << maxMessageSize << "bytes from" << ip
                   << peerPort << ", connection closed with 1009";
    }
    emit signal_disconncted(ip, peerPort);
    {
        QMutexLocker locker(&clientsMutex);
        const QString key = clientKey(ip, peerPort);
        // A newer socket may have taken over the key; only this socket's entry goes.
        if (clients.value(key) == socket)
            clients.remove(key);
    }
    // Otherwise the socket would stay with the server until it is deleted.
    socket->deleteLater();
}

void WebSocketServerManager::clientError(QWebSocket *socket)
{
    emit signal_error(socket->peerAddress().toString(), socket->peerPort(), socket->errorString());
}

void WebSocketServerManager::clientTextMessage(QWebSocket *socket, const QString &message)
{
    emit signal_textMessageReceived(socket->peerAddress().toString(), socket->peerPort(), message);
}
