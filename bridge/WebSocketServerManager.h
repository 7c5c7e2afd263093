#ifndef TOLVANE_WEBSOCKETSERVERMANAGER_H
#define TOLVANE_WEBSOCKETSERVERMANAGER_H

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWebSocketProtocol>
#include <QWebSocketServer>

#include <atomic>

class QWebSocket;
class ClientTcpServer;

// Serves the browser pages: one table entry per connected client, keyed
// "address-port"; every text message becomes one signal naming its client, and
// replies are sent to a client named the same way.
class WebSocketServerManager : public QObject
{
    Q_OBJECT

public:
    // Messages above this size (text or binary) close their connection with 1009.
    static constexpr qint64 maxMessageSize = 64 * 1024;

    WebSocketServerManager(
        const QString &serverName, QWebSocketServer::SslMode secureMode, QObject *parent = nullptr);
    ~WebSocketServerManager() override;

    bool isRunning() const { return running; }
    // Port the server listens on (useful after a start on port 0); 0 when not listening.
    quint16 serverPort() const;

signals:
    void signal_conncted(QString ip, int port);
    void signal_disconncted(QString ip, int port);
    void signal_sendTextMessageResult(QString ip, uint port, bool result);
    void signal_sendBinaryMessageResult(QString ip, uint port, bool result);
    void signal_error(QString ip, uint port, QString errorString);
    void signal_textFrameReceived(QString ip, uint port, QString frame, bool isLastFrame);
    void signal_textMessageReceived(QString ip, uint port, QString message);
    void signal_close();

public slots:
    void slot_start(QHostAddress hostAddress = QHostAddress(QHostAddress::Any), int port = 10080);
    void slot_stop();
    void slot_sendData(QString ip, int port, QString message);

protected slots:
    void slot_newConnection();
    void slot_serverError(QWebSocketProtocol::CloseCode closeCode);
    void slot_closed();
    void slot_disconnected();
    void slot_error(QAbstractSocket::SocketError error);
    void slot_textFrameReceived(QString frame, bool isLastFrame);
    void slot_textMessageReceived(QString message);

private:
    static QString clientKey(const QString &ip, int port);
    void listen();
    // Closes every client with 1000, empties the table and emits signal_close.
    void closeClients(bool withoutEventLoop);
    void clientDisconnected(QWebSocket *socket);
    void clientError(QWebSocket *socket);
    void clientTextMessage(QWebSocket *socket, const QString &message);

    QString serverName;
    QWebSocketServer::SslMode secureMode;
    std::atomic<bool> running {false};
    QWebSocketServer *server = nullptr;
    // Listens for the server and hands it each accepted connection; child of
    // server, and parent of the TCP connections under the client sockets.
    ClientTcpServer *listener = nullptr;
    // The table is written on the thread that owns the server and its sockets
    // (new client, disconnect, close) and read by slot_sendData from whichever
    // thread the caller runs on; a mutex guards every insertion, removal,
    // clearing and look-up. No socket call is made while it is held, so the
    // lock can never wait on an event loop.
    mutable QMutex clientsMutex;
    QHash<QString, QWebSocket *> clients;
    QHostAddress hostAddress;
    int port = 0;
};

#endif
