#ifndef TOLVANE_EXITSIGNALWATCHER_H
#define TOLVANE_EXITSIGNALWATCHER_H

#include <QObject>

// Turns the system's requests to end the program into one Qt signal on the
// thread that created the watcher: SIGTERM and SIGINT on POSIX systems (a
// session logout, `kill`, Ctrl+C), console close and Ctrl+C on Windows. While a
// watcher exists those requests no longer end the process by themselves.
// One watcher per process.
class ExitSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit ExitSignalWatcher(QObject *parent = nullptr);
    ~ExitSignalWatcher() override;

    // False when the platform refused the handlers (the reason is in the run log).
    bool isWatching() const { return watching; }

signals:
    void exitRequested();

private:
    void install();
    void uninstall();

    bool watching = false;
};

#endif
