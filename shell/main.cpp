#include "RunLog.h"
#include "WebSocketServerManager.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeRunLog);
    QApplication::setFont(QFont(QStringLiteral("Microsoft YaHei"), 10));
    createWorkingDirectories();

    QApplication app(argc, argv);
    WebSocketServerManager serverManager(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
    serverManager.slot_start(QHostAddress::Any, 10080);
    return app.exec();
}
