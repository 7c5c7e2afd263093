#ifndef TOLVANE_SINGLEAPPLICATION_H
#define TOLVANE_SINGLEAPPLICATION_H

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLocalServer;

// The program's application object. While it is constructed it asks a local
// socket named after the executable's file name whether another copy runs; if
// one answers, it hands over its last argument and sets isRunning, and main ends
// the process. Otherwise this process listens on that name itself.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // Window that a later start brings forward; none by default.
    QPointer<QWidget> mainWindow;
    // True when another instance answered: this process must end.
    bool isRunning = false;

private slots:
    void newLocalConnection();

private:
    void initLocalConnection();
    void newLocalServer();

    QLocalServer *localServer = nullptr;
    QString serverName;
};

#endif
