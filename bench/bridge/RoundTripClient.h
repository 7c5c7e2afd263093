#ifndef TOLVANE_BENCH_ROUNDTRIPCLIENT_H
#define TOLVANE_BENCH_ROUNDTRIPCLIENT_H

#include <QObject>
#include <QString>
#include <QWebSocket>

class Samples;

// A page's side of one connection: a real QWebSocket on the caller's thread that
// times request and reply.
class RoundTripClient : public QObject
{
    Q_OBJECT

public:
    explicit RoundTripClient(QObject *parent = nullptr);
    ~RoundTripClient() override;

    // Connects to ws://127.0.0.1:<port>, running the caller's event loop meanwhile.
    bool open(quint16 port, int timeoutMs = 5000);

    // Sends `request` `count` times, each as soon as the reply to the one before
    // has arrived, and adds each round trip to `samples`. False when a reply does
    // not have `replyLength` characters (-1 takes any), or when the series has not
    // finished within timeoutMs.
    bool run(const QString &request, int count, int replyLength, Samples *samples, int timeoutMs = 20000);

    void send(const QString &text) { socket.sendTextMessage(text); }
    int replyCount() const { return replies; }
    QString lastReply() const { return last; }

signals:
    void replyReceived();

private:
    QWebSocket socket;
    int replies = 0;
    QString last;
};

#endif
