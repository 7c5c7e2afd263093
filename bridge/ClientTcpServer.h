#ifndef TOLVANE_CLIENTTCPSERVER_H
#define TOLVANE_CLIENTTCPSERVER_H

#include <QTcpServer>

// Accepts browser connections as ClientTcpSocket, with Nagle's algorithm off:
// otherwise a reply of tens of kilobytes (a photo in Base64) waits for the
// client's delayed ACK.
class ClientTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit ClientTcpServer(QObject *parent = nullptr);
    ~ClientTcpServer() override;

protected:
    void incomingConnection(qintptr descriptor) override;
};

#endif
