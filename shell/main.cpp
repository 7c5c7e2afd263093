#include "RunLog.h"
#include "Settings.h"
#include "SettingsRefresher.h"
#include "SharedRecords.h"
#include "WebSocketServerThread.h"

#include <QApplication>
#include <QFont>
#include <QThread>

int main(int argc, char *argv[])
{
    qInstallMessageHandler(writeRunLog);
    QApplication::setFont(QFont(QStringLiteral("Microsoft YaHei"), 10));
    createWorkingDirectories();

    QApplication app(argc, argv);
    loadSettings();
    registerSharedRecords();

    QThread bridgeThread;
    auto *worker = new WebSocketServerThread;
    worker->moveToThread(&bridgeThread);
    QObject::connect(&bridgeThread, &QThread::finished, worker, &QObject::deleteLater);
    bridgeThread.start();
    QMetaObject::invokeMethod(worker, &WebSocketServerThread::slot_startwork, Qt::QueuedConnection);
    SettingsRefresher settingsRefresher;
    settingsRefresher.start();

    const int result = app.exec();
    settingsRefresher.stop();
    bridgeThread.quit();
    bridgeThread.wait();
    return result;
}
