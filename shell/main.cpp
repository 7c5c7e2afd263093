#include "RunLog.h"
#include "Settings.h"
#include "SettingsRefresher.h"
#include "WebSocketServerManager.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeRunLog);
    QApplication::setFont(QFont(QStringLiteral("Microsoft YaHei"), 10));
    createWorkingDirectories();

    QApplication app(argc, argv);
    loadSettings();
    WebSocketServerManager serverManager(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
    serverManager.slot_start(QHostAddress::Any, 10080);
    SettingsRefresher settingsRefresher;
    settingsRefresher.start();

    const int result = app.exec();
    settingsRefresher.stop();
    return result;
}
