#include "ExitSignalWatcher.h"
#include "RunLog.h"
#include "SingleApplication.h"
#include "Tolvane.h"

#include <QFont>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeRunLog);
    QApplication::setFont(QFont(QStringLiteral("Microsoft YaHei"), 10));
    createWorkingDirectories();

    SingleApplication app(argc, argv);
    if (app.isRunning)
        return 0;

    // Loads the settings, starts the bridge and the settings refresher, and puts
    // itself into the notification area once the event loop runs.
    Tolvane window;
    // Without a notification area the hidden window is reached by starting the
    // program again.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        app.mainWindow = &window;
    // A session logout ends the program the way its exit action does.
    ExitSignalWatcher exitSignals;
    QObject::connect(
        &exitSignals, &ExitSignalWatcher::exitRequested, &window, &Tolvane::on_actExitApp_triggered);

    window.show();
    return app.exec();
}
