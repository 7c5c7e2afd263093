#ifndef TOLVANE_NETDATALISTENERTHREAD_H
#define TOLVANE_NETDATALISTENERTHREAD_H

#include <QByteArray>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

class QNetworkReply;

// Watchdog of one HTTP request: its thread measures the time-out while the
// object itself (living on the requesting thread) collects the reply body.
//
// Everything it needs from the reply is connected in the constructor, on the
// requesting thread and before that thread runs any event, so a reply that
// finishes at once is still seen. The time-out travels as a queued call to
// slot_waitTimeout() on the requesting thread; there the first of "reply
// finished" and "time ran out" decides the outcome.
class NetDataListenerThread : public QThread
{
    Q_OBJECT

public:
    // timeout in milliseconds; 0 or less waits until the reply finishes.
    NetDataListenerThread(int timeout, QNetworkReply *reply, QObject *parent = nullptr);
    ~NetDataListenerThread() override;

    // Far more than any reply of our services; a server that sends more is cut off.
    static constexpr int maxDataSize = 64 * 1024 * 1024;

    // True when the time ran out before the reply finished.
    bool result() const { return timedOut; }
    QByteArray data() const { return collected; }
    // True when the reply was aborted for sending more than maxDataSize bytes.
    bool tooLarge() const { return overflowed; }

    // Ends the watching thread; called when the reply has finished.
    void stopWatching();

signals:
    void sig_waitTimeout();

public slots:
    void slot_waitTimeout();
    void readyRead();

protected:
    void run() override;

private:
    void replyFinished();

    const int timeout;
    QNetworkReply *reply; // not owned
    bool timedOut = false;
    bool replyDone = false;
    bool overflowed = false;
    QByteArray collected;

    QMutex stopMutex;
    QWaitCondition stopWake;
    bool stopRequested = false;
};

#endif
