#include "LogCapture.h"

LogCapture *LogCapture::current = nullptr;
QMutex LogCapture::mutex;

LogCapture::LogCapture()
{
    QMutexLocker locker(&mutex);
    current = this;
    previous = qInstallMessageHandler(handler);
}

LogCapture::~LogCapture()
{
    QMutexLocker locker(&mutex);
    qInstallMessageHandler(previous);
    current = nullptr;
}

QStringList LogCapture::lines() const
{
    QMutexLocker locker(&mutex);
    return recorded;
}

QStringList LogCapture::linesWith(const QString &text) const
{
    return lines().filter(text);
}

void LogCapture::clear()
{
    QMutexLocker locker(&mutex);
    recorded.clear();
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    QtMessageHandler next = nullptr;
    {
        QMutexLocker locker(&mutex);
        if (current) {
            current->recorded << msg;
            next = current->previous;
        }
    }
    if (next)
        next(type, context, msg);
}
