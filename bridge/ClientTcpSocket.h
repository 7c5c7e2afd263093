#ifndef TOLVANE_CLIENTTCPSOCKET_H
#define TOLVANE_CLIENTTCPSOCKET_H

#include <QTcpSocket>
#include <QTimer>

// The TCP connection under one browser client's WebSocket.
//
// Closing a TCP socket that still has unread input makes the kernel answer with
// a reset, and a reset can destroy the close frame before the browser reads it:
// a client refused for an oversized message would see an abnormal closure
// instead of 1009. So close() sends what is queued, ends the sending direction
// and discards further input until the peer closes too (or a short linger
// expires); only then is the socket really closed.
class ClientTcpSocket : public QTcpSocket
{
    Q_OBJECT

public:
    static constexpr int lingerMs = 2000;

    explicit ClientTcpSocket(QObject *parent = nullptr);
    ~ClientTcpSocket() override;

    void close() override;

protected:
    qint64 writeData(const char *data, qint64 length) override;

private:
    void endSending();
    void discardInput();
    void finishClose();

    bool closing = false;
    QTimer linger;
};

#endif
