#include "ClientTcpSocket.h"

#include "SocketShutdown.h"

ClientTcpSocket::ClientTcpSocket(QObject *parent)
    : QTcpSocket(parent)
{
    // Connected before the WebSocket layer connects its own reader, so that a
    // closing socket's input is gone before that reader looks.
    connect(this, &QIODevice::readyRead, this, &ClientTcpSocket::discardInput);
    linger.setSingleShot(true);
    linger.setInterval(lingerMs);
    connect(&linger, &QTimer::timeout, this, &ClientTcpSocket::finishClose);
    connect(this, &QAbstractSocket::disconnected, this, [this] {
        if (closing)
            QMetaObject::invokeMethod(this, &ClientTcpSocket::finishClose, Qt::QueuedConnection);
    });
}

ClientTcpSocket::~ClientTcpSocket()
{
    // ~QAbstractSocket still emits disconnected, when this is no longer a ClientTcpSocket.
    disconnect(this, nullptr, this, nullptr);
}

void ClientTcpSocket::close()
{
    if (closing || state() != ConnectedState) {
        QTcpSocket::close();
        return;
    }
    closing = true;
    linger.start();
    // The close frame goes out first, then the FIN.
    if (bytesToWrite() > 0)
        connect(this, &QIODevice::bytesWritten, this, &ClientTcpSocket::endSending);
    else
        endSending();
}

void ClientTcpSocket::endSending()
{
    if (bytesToWrite() > 0)
        return;
    disconnect(this, &QIODevice::bytesWritten, this, &ClientTcpSocket::endSending);
    shutdownSending(socketDescriptor());
    discardInput();
}

void ClientTcpSocket::discardInput()
{
    if (!closing)
        return;
    while (bytesAvailable() > 0)
        skip(bytesAvailable());
}

void ClientTcpSocket::finishClose()
{
    // Either the peer has closed too, or it neither read nor closed within the
    // linger time. The device is closed for real, so later writes are refused.
    linger.stop();
    QTcpSocket::abort();
}

qint64 ClientTcpSocket::writeData(const char *data, qint64 length)
{
    // Nothing more goes out after the close frame.
    if (closing)
        return length;
    return QTcpSocket::writeData(data, length);
}
