#include "SingleApplication.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopedPointer>
#include <QStringList>
#include <QTextStream>

namespace {
constexpr int connectTimeoutMs = 500;
constexpr int writeTimeoutMs = 30000;
constexpr int readTimeoutMs = 1000;
} // namespace

SingleApplication::SingleApplication(int &argc, char **argv)
    : QApplication(argc, argv)
    , serverName(QFileInfo(QCoreApplication::applicationFilePath()).fileName())
{
    initLocalConnection();
}

SingleApplication::~SingleApplication() = default;

void SingleApplication::initLocalConnection()
{
    isRunning = false;
    QScopedPointer<QLocalSocket> socket(new QLocalSocket);
    socket->connectToServer(serverName, QIODevice::ReadWrite);
    if (!socket->waitForConnected(connectTimeoutMs)) {
        newLocalServer();
        return;
    }

    isRunning = true;
    const QStringList args = QCoreApplication::arguments();
    QTextStream stream(socket.data());
    stream << (args.size() > 1 ? args.last() : QString());
    stream.flush();
    socket->waitForBytesWritten(writeTimeoutMs);
    qInfo() << "Another instance is running; this start ends";
}

void SingleApplication::newLocalServer()
{
    localServer = new QLocalServer(this);
    connect(localServer, &QLocalServer::newConnection, this, &SingleApplication::newLocalConnection);
    if (localServer->listen(serverName))
        return;
    // A copy that crashed leaves its socket file behind; nobody answered on it.
    if (localServer->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(serverName);
        if (localServer->listen(serverName))
            return;
    }
    qWarning() << "Single-instance guard cannot listen on" << serverName << ":" << localServer->errorString();
}

void SingleApplication::newLocalConnection()
{
    QScopedPointer<QLocalSocket> socket(localServer->nextPendingConnection());
    if (!socket)
        return;
    // The hand-over text is not used; waiting only lets the peer finish writing.
    socket->waitForReadyRead(readTimeoutMs);
    socket.reset();

    if (!mainWindow)
        return;
    mainWindow->raise();
    mainWindow->activateWindow();
    mainWindow->setWindowState((mainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    mainWindow->show();
}
