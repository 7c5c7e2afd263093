#include "ClientTcpServer.h"

#include "ClientTcpSocket.h"

ClientTcpServer::ClientTcpServer(QObject *parent)
    : QTcpServer(parent)
{
}

ClientTcpServer::~ClientTcpServer() = default;

void ClientTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new ClientTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    addPendingConnection(socket);
}
