#ifndef TOLVANE_TEST_LOGCAPTURE_H
#define TOLVANE_TEST_LOGCAPTURE_H

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

// Records the messages of the running test (and passes them to the handler before it).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    QStringList linesWith(const QString &text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg);
    static LogCapture *current;
    static QMutex mutex;
    QtMessageHandler previous = nullptr;
    QStringList recorded;
};

#endif
