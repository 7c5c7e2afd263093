#include "NetDataListenerThread.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QNetworkReply>

NetDataListenerThread::NetDataListenerThread(int timeout, QNetworkReply *reply, QObject *parent)
    : QThread(parent)
    , timeout(timeout)
    , reply(reply)
{
    if (reply) {
        connect(reply, &QNetworkReply::readyRead, this, &NetDataListenerThread::readyRead);
        connect(reply, &QNetworkReply::finished, this, &NetDataListenerThread::replyFinished);
    }
}

NetDataListenerThread::~NetDataListenerThread()
{
    stopWatching();
    wait();
}

void NetDataListenerThread::stopWatching()
{
    QMutexLocker locker(&stopMutex);
    stopRequested = true;
    stopWake.wakeAll();
}

void NetDataListenerThread::run()
{
    QMutexLocker locker(&stopMutex);
    if (timeout < 1) {
        while (!stopRequested)
            stopWake.wait(&stopMutex);
        return;
    }
    QDeadlineTimer deadline(timeout, Qt::PreciseTimer);
    while (!stopRequested && !deadline.hasExpired())
        stopWake.wait(&stopMutex, deadline);
    if (!stopRequested)
        QMetaObject::invokeMethod(this, &NetDataListenerThread::slot_waitTimeout, Qt::QueuedConnection);
}

void NetDataListenerThread::slot_waitTimeout()
{
    // A reply that finished first wins, even if the time ran out a moment later.
    if (replyDone)
        return;
    timedOut = true;
    emit sig_waitTimeout();
}

void NetDataListenerThread::readyRead()
{
    if (!reply || overflowed)
        return;
    const QByteArray chunk = reply->readAll();
    if (chunk.size() > maxDataSize - collected.size()) {
        overflowed = true;
        collected.clear();
        reply->abort();
        return;
    }
    if (!chunk.isEmpty())
        collected.append(chunk);
}

void NetDataListenerThread::replyFinished()
{
    if (timedOut)
        return;
    readyRead();
    replyDone = true;
    stopWatching();
}
