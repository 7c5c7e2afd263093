// Loopback round trips through WebSocketServerManager beside a bare
// QWebSocketServer answering the same requests, measured in the same run.
//
// A round trip: the client sends an 11-character request and waits for the
// reply, a text of 5 characters ("false") or of 40,000 (a card photo in Base64
// is of that size). Through the manager the reply takes the program's way:
// client -> signal_textMessageReceived -> the bridge's handler -> slot_sendData ->
// client. The bare server answers in its own textMessageReceived handler with
// sendTextMessage. Both look the reply up in the same table.
#include "PageFaults.h"
#include "RoundTripClient.h"
#include "Samples.h"
#include "WebSocketServerManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

namespace {

constexpr int warmUpRoundTrips = 100;
constexpr int blocks = 10;
constexpr int roundTripsPerBlock = 100; // ours and bare take turns, block by block
constexpr int nagleRoundTrips = 60;
constexpr double stallMicroseconds = 20000;

const QString shortRequest = QStringLiteral("REPLY_SHORT");
const QString longRequest = QStringLiteral("REPLY_40000");

// Filled before any server starts and only read afterwards, from every thread.
QHash<QString, QString> replies;

QString replyFor(const QString &request)
{
    return replies.value(request);
}

void fillReplies()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString photo;
    photo.reserve(40000);
    for (int i = 0; i < 40000; ++i)
        photo.append(QLatin1Char(alphabet[(i * 7 + i / 64) % 64]));
    replies.insert(shortRequest, QStringLiteral("false"));
    replies.insert(longRequest, photo);
}

// The manager's connection and start messages would drown the figures.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Runs `call` on the thread of `context` and waits for it.
template<typename Call> void runOn(QObject *context, Call call)
{
    if (context->thread() == QThread::currentThread())
        call();
    else
        QMetaObject::invokeMethod(context, call, Qt::BlockingQueuedConnection);
}

// The manager as the bridge uses it: started on the thread that serves its
// sockets, each message answered through slot_sendData from that thread.
struct OurServer
{
    WebSocketServerManager *manager = nullptr;
    QObject *bridge = nullptr;
    quint16 port = 0;

    void start()
    {
        manager = new WebSocketServerManager(QStringLiteral("myServer"), QWebSocketServer::NonSecureMode);
        bridge = new QObject;
        WebSocketServerManager *target = manager;
        QObject::connect(manager, &WebSocketServerManager::signal_textMessageReceived, bridge,
            [target](const QString &ip, uint clientPort, const QString &message) {
                target->slot_sendData(ip, int(clientPort), replyFor(message));
            });
        manager->slot_start(QHostAddress::Any, 0);
        port = manager->serverPort();
    }

    void stop()
    {
        delete bridge;
        delete manager;
    }
};

// A QWebSocketServer answering in its own handler. Connections are accepted by
// our own QTcpServer and handed over with handleConnection, so that Nagle's
// algorithm can be switched off on each accepted socket with
// QAbstractSocket::LowDelayOption (TCP_NODELAY), or left on.
struct BareServer
{
    bool lowDelay = true;
    QWebSocketServer *server = nullptr;
    quint16 port = 0;

    void start()
    {
        server = new QWebSocketServer(QStringLiteral("bare"), QWebSocketServer::NonSecureMode);
        auto *tcp = new QTcpServer(server);
        QWebSocketServer *upgrader = server;
        const bool noDelay = lowDelay;
        QObject::connect(tcp, &QTcpServer::newConnection, server, [tcp, upgrader, noDelay] {
            while (QTcpSocket *socket = tcp->nextPendingConnection()) {
                if (noDelay)
                    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                upgrader->handleConnection(socket);
            }
        });
        QObject::connect(server, &QWebSocketServer::newConnection, server, [upgrader] {
            while (QWebSocket *client = upgrader->nextPendingConnection()) {
                client->setParent(upgrader);
                QObject::connect(client, &QWebSocket::textMessageReceived, client,
                    [client](const QString &message) { client->sendTextMessage(replyFor(message)); });
                QObject::connect(client, &QWebSocket::disconnected, client, &QObject::deleteLater);
            }
        });
        tcp->listen(QHostAddress::Any, 0);
        port = tcp->serverPort();
    }

    void stop() { delete server; }
};

QString ratio(double ours, double bare)
{
    return bare > 0 ? QStringLiteral("%1x").arg(ours / bare, 0, 'f', 2) : QStringLiteral("-");
}

// Round trips of one server and reply size, with the page faults of the process meanwhile.
struct Series
{
    Samples samples;
    qint64 faults = 0;

    bool run(RoundTripClient &client, const QString &request, int count, int timeoutMs = 20000)
    {
        const qint64 before = processPageFaults();
        const bool ok = client.run(request, count, replyFor(request).size(), &samples, timeoutMs);
        faults += processPageFaults() - before;
        return ok;
    }
};

void printHeader()
{
    std::printf("  %-7s %-5s %12s %12s %12s %7s %10s\n", "reply", "side", "median", "p99", "max", "stalls",
        "faults/rt");
}

void printRow(const char *size, const char *side, const Series &series)
{
    const Samples &samples = series.samples;
    std::printf("  %-7s %-5s %12s %12s %12s %7d %10.1f\n", size, side,
        qPrintable(Samples::format(samples.median())), qPrintable(Samples::format(samples.percentile(99))),
        qPrintable(Samples::format(samples.max())), samples.countAbove(stallMicroseconds),
        samples.count() ? double(series.faults) / samples.count() : 0.0);
}

void printRatio(const char *size, const Series &ours, const Series &bare)
{
    std::printf("  %-7s %-5s %12s %12s\n", size, "ratio",
        qPrintable(ratio(ours.samples.median(), bare.samples.median())),
        qPrintable(ratio(ours.samples.percentile(99), bare.samples.percentile(99))));
}

// One arrangement of threads: the servers on `serverThread` (null: on the main
// thread, beside the clients). False when something could not be measured.
bool measure(const char *title, QThread *serverThread)
{
    QObject anchor;
    if (serverThread)
        anchor.moveToThread(serverThread);

    OurServer ours;
    BareServer bare;
    BareServer nagle;
    nagle.lowDelay = false;
    runOn(&anchor, [&] {
        ours.start();
        bare.start();
        nagle.start();
    });

    bool ok = true;
    {
        RoundTripClient ourClient;
        RoundTripClient bareClient;
        RoundTripClient nagleClient;
        if (!ours.port || !bare.port || !nagle.port || !ourClient.open(ours.port)
            || !bareClient.open(bare.port) || !nagleClient.open(nagle.port)) {
            std::fprintf(stderr, "%s: a server did not start or a client did not connect\n", title);
            ok = false;
        }

        std::printf("\n%s\n", title);
        printHeader();
        struct Size
        {
            const char *name;
            const QString &request;
        };
        for (const Size &size : {Size {"5", shortRequest}, Size {"40000", longRequest}}) {
            if (!ok)
                break;
            Series warmUp;
            ok = warmUp.run(ourClient, size.request, warmUpRoundTrips)
                && warmUp.run(bareClient, size.request, warmUpRoundTrips);
            Series ourSeries;
            Series bareSeries;
            for (int block = 0; ok && block < blocks; ++block) {
                ok = ourSeries.run(ourClient, size.request, roundTripsPerBlock)
                    && bareSeries.run(bareClient, size.request, roundTripsPerBlock);
            }
            if (!ok) {
                std::fprintf(
                    stderr, "%s: a %s-character series failed (wrong reply or timeout)\n", title, size.name);
                break;
            }
            printRow(size.name, "ours", ourSeries);
            printRow(size.name, "bare", bareSeries);
            printRatio(size.name, ourSeries, bareSeries);
        }

        if (ok) {
            Series warmUp;
            Series nagleSeries;
            ok = warmUp.run(nagleClient, longRequest, 5)
                && nagleSeries.run(nagleClient, longRequest, nagleRoundTrips, 60000);
            if (ok) {
                std::printf("  for reference, bare with Nagle left on (%d round trips):\n",
                    nagleSeries.samples.count());
                printRow("40000", "nagle", nagleSeries);
            } else {
                std::fprintf(stderr, "%s: the series with Nagle on failed\n", title);
            }
        }
    }
    // The clients are gone; their servers' sockets see the close before the servers go.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    runOn(&anchor, [&] {
        ours.stop();
        bare.stop();
        nagle.stop();
    });
    if (serverThread) {
        // The servers' deferred deletions run when that thread finishes.
        runOn(&anchor, [&] { anchor.moveToThread(QCoreApplication::instance()->thread()); });
    } else {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    fillReplies();

    std::printf(
        "WebSocket round trips over 127.0.0.1 (Qt %s, %d cores)\n", qVersion(), QThread::idealThreadCount());
    std::printf("Request: 11 characters; reply: 5 or 40000 characters of text.\n"
                "ours:  WebSocketServerManager; message -> signal_textMessageReceived -> slot_sendData.\n"
                "bare:  QWebSocketServer answering in its textMessageReceived handler; Nagle off\n"
                "       (LowDelayOption on each socket that our own QTcpServer accepts).\n"
                "%d round trips per row after %d of warm-up, ours and bare taking turns in blocks of %d.\n"
                "stalls: round trips over %.0f ms. faults/rt: page faults of the process per round trip\n"
                "       (the heap handing memory back to the system and faulting it in again).\n"
                "ratio: ours / bare.\n",
        blocks * roundTripsPerBlock, warmUpRoundTrips, roundTripsPerBlock, stallMicroseconds / 1000);

    QThread serverThread;
    serverThread.setObjectName(QStringLiteral("server"));
    serverThread.start();
    bool ok = measure(
        "Server on its own QThread (as the bridge thread), client on the main thread:", &serverThread);
    serverThread.quit();
    serverThread.wait();
    ok = measure("Server and client both on the main thread:", nullptr) && ok;
    return ok ? 0 : 1;
}
