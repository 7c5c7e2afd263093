// "ID_CARD_RED" round trips through the bridge worker on its own thread, served
// from the reader stand-in of the build without delay: what a page waits for a
// card besides the reader itself.
#include "IdCardHelper.h"
#include "RoundTripClient.h"
#include "Samples.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"
#include "WebSocketServerThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int warmUpRequests = 20;
constexpr int sequentialRequests = 500;
constexpr int clientCount = 50;
constexpr int bursts = 10;
constexpr int directReads = 200;

const QString cardRequest = QStringLiteral("ID_CARD_RED");

using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The bridge's connection lines and card logs would drown the figures.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// The second listener cannot take port 0, so both get ports that were free a moment ago.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A card reply as the bridge sends it: type 1 with the card photo.
bool isCardReply(const QString &reply)
{
    const QJsonObject card = QJsonDocument::fromJson(reply.toUtf8()).object();
    return card.value(QStringLiteral("type")).toInt() == 1
        && !card.value(QStringLiteral("IDCard")).toString().isEmpty()
        && !card.value(QStringLiteral("ImgCode")).toString().isEmpty();
}

void printFigures(const char *what, const Samples &samples)
{
    std::printf("  %-44s median %10s   p99 %10s   max %10s\n", what,
        qPrintable(Samples::format(samples.median())), qPrintable(Samples::format(samples.percentile(99))),
        qPrintable(Samples::format(samples.max())));
}

// All clients send at once; the time until the last of them has its reply.
bool burst(
    const std::vector<std::unique_ptr<RoundTripClient>> &clients, const QString &expected, Samples *samples)
{
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    int waiting = int(clients.size());
    bool allCards = true;
    for (const auto &client : clients) {
        RoundTripClient *c = client.get();
        QObject::connect(c, &RoundTripClient::replyReceived, &loop, [&, c] {
            allCards = allCards && c->lastReply() == expected;
            if (--waiting == 0)
                loop.exit(0);
        });
    }
    const Clock::time_point start = Clock::now();
    for (const auto &client : clients)
        client->send(cardRequest);
    timeout.start(30000);
    const bool done = loop.exec() == 0;
    samples->add(microsecondsSince(start));
    return done && allCards;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietHandler);
    registerSharedRecords();

    // The reader library is the stand-in beside the program, loaded as the program loads it.
    SdtApiLibrary::setProgramFolder(QStringLiteral(BENCH_PROGRAM_FOLDER));
    if (!SdtApiLibrary::instance().isUsable()) {
        std::fprintf(
            stderr, "reader stand-in not usable: %s\n", qPrintable(SdtApiLibrary::instance().problem()));
        return 1;
    }

    // A working directory of our own, as the program's, with its "cardphoto" folder.
    QTemporaryDir temp;
    const QString work = temp.path() + QStringLiteral("/work");
    if (!temp.isValid() || !QDir().mkpath(work + QStringLiteral("/cardphoto")) || !QDir::setCurrent(work)) {
        std::fprintf(stderr, "cannot set up a working directory below %s\n", qPrintable(temp.path()));
        return 1;
    }
    // The stand-in's built-in card and photo, answered at once.
    const QString simulation = temp.path() + QStringLiteral("/reader.json");
    {
        QFile file(simulation);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(R"({"reader": "ok", "card": "present", "delayMs": 0})") < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(simulation));
            return 1;
        }
    }
    qputenv("SDTAPI_SIM", simulation.toLocal8Bit());

    QThread bridge;
    bridge.setObjectName(QStringLiteral("bridge"));
    auto *worker = new WebSocketServerThread;
    const quint16 port = freePort();
    worker->setPorts(port, freePort());
    worker->moveToThread(&bridge);
    QObject::connect(&bridge, &QThread::finished, worker, &QObject::deleteLater);
    bridge.start();
    QMetaObject::invokeMethod(worker, &WebSocketServerThread::slot_startwork, Qt::BlockingQueuedConnection);
    if (worker->serverPort() != port) {
        std::fprintf(stderr, "the bridge did not listen on port %u\n", unsigned(port));
        bridge.quit();
        bridge.wait();
        return 1;
    }

    bool ok = true;
    {
        RoundTripClient one;
        Samples warmUp;
        ok = one.open(port) && one.run(cardRequest, 1, -1, &warmUp) && isCardReply(one.lastReply());
        if (!ok)
            std::fprintf(stderr, "no card reply: \"%s\"\n", qPrintable(one.lastReply().left(200)));
        const QString expected = one.lastReply();
        const int replyLength = expected.size();

        std::printf("\"ID_CARD_RED\" through WebSocketServerThread on its own QThread; the reader stand-in\n"
                    "answers at once (delayMs 0) with its built-in card; the reply is %d characters.\n"
                    "Clients on the main thread, over 127.0.0.1.\n\n",
            replyLength);

        Samples sequential;
        ok = ok && one.run(cardRequest, warmUpRequests, replyLength, &warmUp)
            && one.run(cardRequest, sequentialRequests, replyLength, &sequential);
        if (ok) {
            std::printf("One client, %d requests one after the other:\n", sequential.count());
            printFigures("request to reply", sequential);
        } else {
            std::fprintf(stderr, "the series of one client failed\n");
        }

        std::vector<std::unique_ptr<RoundTripClient>> clients;
        for (int i = 0; ok && i < clientCount; ++i) {
            clients.push_back(std::make_unique<RoundTripClient>());
            ok = clients.back()->open(port);
        }
        Samples all;
        Samples ignored;
        ok = ok && burst(clients, expected, &ignored);
        for (int i = 0; ok && i < bursts; ++i)
            ok = burst(clients, expected, &all);
        if (ok) {
            std::printf("\n%d connected clients asking at once, %d times:\n", clientCount, all.count());
            std::printf("  %-44s median %10s   worst %10s\n", "until every client has its reply",
                qPrintable(Samples::format(all.median())), qPrintable(Samples::format(all.max())));
            std::printf("  %-44s median %10s\n", "that time divided by the requests",
                qPrintable(Samples::format(all.median() / clientCount)));
        } else {
            std::fprintf(stderr, "a burst of %d clients failed (wrong reply or timeout)\n", clientCount);
        }
    }

    // The bridge's own work for one request without the WebSocket: the read and
    // the photo's encoding, on this thread while the bridge is idle.
    if (ok) {
        IdCardHelper helper;
        Samples direct;
        QObject::connect(&helper, &IdCardHelper::show_message, &helper, [](int, IDCardReadData &card) {
            WebSocketServerThread::imageFileToBase64(
                QDir::currentPath() + QStringLiteral("/cardphoto/") + card.idCard + QStringLiteral(".jpg"));
        });
        for (int i = 0; i < directReads; ++i) {
            const Clock::time_point start = Clock::now();
            helper.readCardForClient(QStringLiteral("127.0.0.1"), 1);
            direct.add(microsecondsSince(start));
        }
        std::printf("\nFor reference, the card read and the photo's Base64 called directly, %d times:\n",
            direct.count());
        printFigures("readCardForClient + imageFileToBase64", direct);
    }

    bridge.quit();
    bridge.wait();
    return ok ? 0 : 1;
}
