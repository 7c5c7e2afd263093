#ifndef TOLVANE_TEST_WSTESTCLIENT_H
#define TOLVANE_TEST_WSTESTCLIENT_H

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QWebSocket>

// A browser page's side of the connection: a real QWebSocket that records what
// arrives.
class WsTestClient : public QObject
{
    Q_OBJECT

public:
    explicit WsTestClient(QObject *parent = nullptr);
    ~WsTestClient() override;

    bool open(const QUrl &url, int timeoutMs = 5000);
    bool open(quint16 port, int timeoutMs = 5000);
    void send(const QString &text) { socket.sendTextMessage(text); }
    bool waitForMessages(int count, int timeoutMs = 5000);
    bool waitForDisconnected(int timeoutMs = 5000);

    QWebSocket &webSocket() { return socket; }
    bool isConnected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    // Port of this client's end, as the server sees it.
    quint16 localPort() const { return socket.localPort(); }

    QStringList messages;
    bool disconnected = false;

signals:
    void messageReceived(QString message);

private:
    QWebSocket socket;
};

#endif
