#include "RoundTripClient.h"

#include "Samples.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

} // namespace

RoundTripClient::RoundTripClient(QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QWebSocket::textMessageReceived, this, [this](const QString &message) {
        ++replies;
        last = message;
        emit replyReceived();
    });
}

RoundTripClient::~RoundTripClient() = default;

bool RoundTripClient::open(quint16 port, int timeoutMs)
{
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    connect(&socket, &QWebSocket::connected, &loop, [&loop] { loop.exit(0); });
    connect(&socket, &QWebSocket::disconnected, &loop, [&loop] { loop.exit(1); });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
    timeout.start(timeoutMs);
    return loop.exec() == 0 && socket.state() == QAbstractSocket::ConnectedState;
}

bool RoundTripClient::run(const QString &request, int count, int replyLength, Samples *samples, int timeoutMs)
{
    if (count <= 0)
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    connect(&socket, &QWebSocket::disconnected, &loop, [&loop] { loop.exit(1); });
    int done = 0;
    Clock::time_point sent;
    // The handler of the loop's connection runs before the series' next request
    // is written, so each round trip starts when its predecessor's reply is in.
    connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString &message) {
        samples->add(microsecondsSince(sent));
        if (replyLength >= 0 && message.size() != replyLength) {
            loop.exit(2);
            return;
        }
        if (++done == count) {
            loop.exit(0);
            return;
        }
        sent = Clock::now();
        socket.sendTextMessage(request);
    });
    sent = Clock::now();
    socket.sendTextMessage(request);
    timeout.start(timeoutMs);
    return loop.exec() == 0;
}
