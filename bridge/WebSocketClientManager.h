#ifndef TOLVANE_WEBSOCKETCLIENTMANAGER_H
#define TOLVANE_WEBSOCKETCLIENTMANAGER_H

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

class QWebSocket;

// One outgoing WebSocket connection behind slots and signals; the client-side
// counterpart of WebSocketServerManager.
class WebSocketClientManager : public QObject
{
    Q_OBJECT

public:
    explicit WebSocketClientManager(QObject *parent = nullptr);
    ~WebSocketClientManager() override;

    bool isRunning() const { return running; }
    bool isConnected() const { return connected; }

signals:
    void signal_connected();
    void signal_disconnected();
    void signal_sendTextMessageResult(bool result);
    void signal_sendBinaryMessageResult(bool result);
    void signal_error(QString errorString);
    void signal_textFrameReceived(QString frame, bool isLastFrame);
    void signal_textMessageReceived(QString message);

public slots:
    void slot_start();
    void slot_stop();
    void slot_connectedTo(QString url);
    void slot_sendTextMessage(QString message);
    void slot_sendBinaryMessage(QByteArray data);

protected slots:
    void slot_connected();
    void slot_disconnected();
    void slot_error(QAbstractSocket::SocketError error);
    void slot_textFrameReceived(QString frame, bool isLastFrame);
    void slot_textMessageReceived(QString message);

private:
    bool running = false;
    bool connected = false;
    QWebSocket *socket = nullptr; // child of this manager
};

#endif
