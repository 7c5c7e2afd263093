#include "ProgramCopy.h"
#include "ReaderFixture.h"
#include "SdtApiLibrary.h"
#include "SharedRecords.h"
#include "WebSocketServerThread.h"
#include "WsTestClient.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// JPEG bytes as the bridge encodes a picture for a page.
QByteArray jpegOf(const QString &path)
{
    QImage image(path);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpg");
    return bytes;
}

// A WebSocket client on a TCP socket of its own, so that it can take a chosen
// local port: two of them may share one, each connected to another server port.
class BoundClient
{
public:
    bool open(quint16 localPort, quint16 serverPort)
    {
        if (!socket.bind(QHostAddress::LocalHost, localPort, QAbstractSocket::ReuseAddressHint))
            return false;
        socket.connectToHost(QHostAddress::LocalHost, serverPort);
        if (!socket.waitForConnected(5000))
            return false;
        socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        return QTest::qWaitFor([this] { return readInput(), upgraded; }, 5000);
    }

    quint16 localPort() const { return socket.localPort(); }

    void send(const QByteArray &text)
    {
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        QByteArray frame;
        frame.append(char(0x81)).append(char(0x80 | text.size())).append(mask, 4);
        for (int i = 0; i < text.size(); ++i)
            frame.append(char(text.at(i) ^ mask[i % 4]));
        socket.write(frame);
    }

    bool waitForMessages(int count)
    {
        return QTest::qWaitFor([this, count] { return readInput(), messages.size() >= count; }, 5000);
    }

    QStringList messages;

private:
    // Takes the handshake's answer, then the server's (unmasked) text frames.
    void readInput()
    {
        input += socket.readAll();
        if (!upgraded) {
            const int end = input.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            upgraded = input.startsWith("HTTP/1.1 101");
            input.remove(0, end + 4);
        }
        while (input.size() >= 2) {
            qint64 length = quint8(input.at(1)) & 0x7f;
            int header = 2;
            if (length == 126) {
                if (input.size() < 4)
                    return;
                length = (quint8(input.at(2)) << 8) | quint8(input.at(3));
                header = 4;
            }
            if (input.size() < header + length)
                return;
            if ((quint8(input.at(0)) & 0x0f) == 1)
                messages << QString::fromUtf8(input.mid(header, int(length)));
            input.remove(0, header + int(length));
        }
    }

    QTcpSocket socket;
    QByteArray input;
    bool upgraded = false;
};

} // namespace

// The bridge on its own thread, as the main window runs it, serving real
// WebSocket clients from the reader stand-in of the build.
class tst_WebSocketServerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cardReplyHasEveryMemberInOrderAndThePhoto();
    void failedReadsAnswerFalseOrError_data();
    void failedReadsAnswerFalseOrError();
    void missingPhotoGivesEmptyImgCode();
    void otherTextsGetNothing();
    void simultaneousClientsEachGetTheirOwnReply();
    void clientsOfBothPortsWithOneAddressAndPort();
    void clientSendingAtOnceIsServedWhileGuiThreadIsBlocked();
    void replyForClientThatLeftIsDropped();
    void faceRequestAndFaceReply();
    void extraPortOutsideTheRangeIsNotServed();
    void programWithoutReaderLibraryAnswersError();

private:
    void startBridge();

    QScopedPointer<ReaderFixture> fixture;
    QScopedPointer<QThread> bridge;
    WebSocketServerThread *worker = nullptr;
    quint16 port = 0;
    quint16 extraPort = 0;
};

void tst_WebSocketServerThread::initTestCase()
{
    registerSharedRecords();
    SdtApiLibrary::setProgramFolder(QStringLiteral(TOLVANE_BIN_DIR));
    QVERIFY2(SdtApiLibrary::instance().isUsable(), qPrintable(SdtApiLibrary::instance().problem()));
}

void tst_WebSocketServerThread::init()
{
    fixture.reset(new ReaderFixture);
    QVERIFY(fixture->isValid());
    startBridge();
}

void tst_WebSocketServerThread::cleanup()
{
    bridge->quit();
    bridge->wait();
    bridge.reset();
    worker = nullptr;
    fixture.reset();
}

void tst_WebSocketServerThread::startBridge()
{
    bridge.reset(new QThread);
    worker = new WebSocketServerThread;
    port = freePort();
    extraPort = freePort();
    worker->setPorts(port, extraPort);
    worker->moveToThread(bridge.data());
    connect(bridge.data(), &QThread::finished, worker, &QObject::deleteLater);
    bridge->start();
    QMetaObject::invokeMethod(worker, &WebSocketServerThread::slot_startwork, Qt::BlockingQueuedConnection);
    QCOMPARE(worker->serverPort(), port);
    QCOMPARE(worker->extraServerPort(), extraPort);
}

void tst_WebSocketServerThread::cardReplyHasEveryMemberInOrderAndThePhoto()
{
    const QString photo = fixture->writeImage(QStringLiteral("card.png"), QSize(204, 252), Qt::darkCyan);
    fixture->setReader(ReaderFixture::card(ReaderFixture::standardFields(), photo));
    QSignalSpy complete(worker, &WebSocketServerThread::signal_DataComplete);
    LogCapture log;

    WsTestClient client;
    QVERIFY(client.open(port));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1));

    const QString jpegPath = fixture->photoPath(QStringLiteral("99000019851203002X"));
    const QString expectedImage = QString::fromLatin1(jpegOf(jpegPath).toBase64());
    QVERIFY(!expectedImage.isEmpty());
    const QString expected = QStringLiteral(
        R"({"Address":"测试省测试市幸福街8号","Birthday":"19851203","IDCard":"99000019851203002X","ImgCode":"%1",)"
        R"("Name":"李四","Nation":"汉","Sex":"女","type":1})")
                                 .arg(expectedImage);
    QCOMPARE(client.messages.first(), expected);
    // Base64 carries "/" as it is, and the picture is the card's JPEG.
    const QJsonObject reply = QJsonDocument::fromJson(client.messages.first().toUtf8()).object();
    QImage decoded;
    QVERIFY(decoded.loadFromData(
        QByteArray::fromBase64(reply.value(QStringLiteral("ImgCode")).toString().toLatin1())));
    QCOMPARE(decoded.size(), QImage(jpegPath).size());

    QTRY_COMPARE(complete.count(), 1);
    const auto record = complete.first().at(1).value<IDCardReadData>();
    QCOMPARE(record.idCard, QStringLiteral("99000019851203002X"));
    QCOMPARE(record.extra3, QStringLiteral("20360301"));
    QCOMPARE(record.port, int(client.localPort()));

    const QStringList logged = log.linesWith(QStringLiteral("CardInfo is:"));
    QCOMPARE(logged.size(), 1);
    QVERIFY(logged.first().contains(QStringLiteral("99000019851203002X")));
    QVERIFY(!logged.first().contains(QStringLiteral("ImgCode")));
}

void tst_WebSocketServerThread::failedReadsAnswerFalseOrError_data()
{
    QTest::addColumn<QString>("simulation");
    QTest::addColumn<QString>("reply");
    QTest::newRow("reader absent") << R"({"reader":"absent"})"
                                   << "error";
    QTest::newRow("no card") << R"({"card":"absent"})"
                             << "false";
    QTest::newRow("unreadable card") << R"({"card":"unreadable"})"
                                     << "false";
}

void tst_WebSocketServerThread::failedReadsAnswerFalseOrError()
{
    QFETCH(QString, simulation);
    QFETCH(QString, reply);
    fixture->setReader(QJsonDocument::fromJson(simulation.toUtf8()).object());
    QSignalSpy complete(worker, &WebSocketServerThread::signal_DataComplete);
    WsTestClient client;
    QVERIFY(client.open(extraPort));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1));
    QCOMPARE(client.messages, QStringList {reply});
    QCOMPARE(complete.count(), 0);
}

void tst_WebSocketServerThread::missingPhotoGivesEmptyImgCode()
{
    fixture->setReader(ReaderFixture::card(ReaderFixture::standardFields(), QString()));
    WsTestClient client;
    QVERIFY(client.open(port));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1));
    const QJsonObject reply = QJsonDocument::fromJson(client.messages.first().toUtf8()).object();
    QCOMPARE(reply.value(QStringLiteral("Name")).toString(), QStringLiteral("李四"));
    QVERIFY(client.messages.first().contains(QStringLiteral(R"("ImgCode":"",)")));
}

void tst_WebSocketServerThread::otherTextsGetNothing()
{
    fixture->setReader(ReaderFixture::card(ReaderFixture::standardFields(), QString()));
    WsTestClient client;
    QVERIFY(client.open(port));
    for (const char *text : {"id_card_red", "ID_CARD_RED ", " ID_CARD_RED", "ID_CARD", "", "ID_FACE_RED\n"})
        client.send(QString::fromLatin1(text));
    client.webSocket().sendBinaryMessage(QByteArray("ID_CARD_RED"));
    // Requests are served in order: the answer to this one proves the others got none.
    fixture->setReader(QJsonObject {{QStringLiteral("card"), QStringLiteral("absent")}});
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1));
    QTest::qWait(50);
    QCOMPARE(client.messages, QStringList {QStringLiteral("false")});
}

void tst_WebSocketServerThread::simultaneousClientsEachGetTheirOwnReply()
{
    QJsonObject simulation = ReaderFixture::card(ReaderFixture::standardFields(), QString());
    simulation.insert(QStringLiteral("delayMs"), 20);
    fixture->setReader(simulation);
    WsTestClient onMain, onExtra, alsoOnMain;
    QVERIFY(onMain.open(port));
    QVERIFY(onExtra.open(extraPort));
    QVERIFY(alsoOnMain.open(port));
    onMain.send(QStringLiteral("ID_CARD_RED"));
    onExtra.send(QStringLiteral("ID_CARD_RED"));
    alsoOnMain.send(QStringLiteral("ID_FACE_RED")); // asks for something else; no card reply
    QVERIFY(onMain.waitForMessages(1));
    QVERIFY(onExtra.waitForMessages(1));
    QCOMPARE(onMain.messages.size(), 1);
    QCOMPARE(onExtra.messages, onMain.messages);
    QVERIFY(onMain.messages.first().startsWith(QStringLiteral(R"({"Address":)")));
    QVERIFY(alsoOnMain.messages.isEmpty());
}

// Each port's clients are keyed by address and port, and the system may give
// one local port to a connection to each server port: a reply goes back only
// through the port its request came in on.
void tst_WebSocketServerThread::clientsOfBothPortsWithOneAddressAndPort()
{
    fixture->setReader(ReaderFixture::card(ReaderFixture::standardFields(), QString()));
    BoundClient onMain, onExtra;
    QVERIFY(onMain.open(0, port));
    QVERIFY(onExtra.open(onMain.localPort(), extraPort));
    QCOMPARE(onExtra.localPort(), onMain.localPort());

    onMain.send("ID_CARD_RED");
    QVERIFY(onMain.waitForMessages(1));
    QVERIFY(onMain.messages.first().contains(QStringLiteral("99000019851203002X")));

    // The answer to this request proves that no earlier reply was on its way.
    fixture->setReader(QJsonObject {{QStringLiteral("card"), QStringLiteral("absent")}});
    onExtra.send("ID_CARD_RED");
    QVERIFY(onExtra.waitForMessages(1));
    QCOMPARE(onExtra.messages, QStringList {QStringLiteral("false")});
    QTest::qWait(50);
    QCOMPARE(onMain.messages.size(), 1);

    // Likewise the face reply, which comes later, from the face page.
    QSignalSpy begin(worker, &WebSocketServerThread::signal_beginCollect);
    onExtra.send("ID_FACE_RED");
    QTRY_COMPARE(begin.count(), 1);
    FaceReadData face {QStringLiteral("/9j/"), begin.first().at(0).toString(), begin.first().at(1).toInt()};
    QMetaObject::invokeMethod(
        worker, [&] { worker->slot_recCollectFace(1, face); }, Qt::BlockingQueuedConnection);
    QVERIFY(onExtra.waitForMessages(2));
    QCOMPARE(onExtra.messages.last(), QStringLiteral(R"({"ImgCode":"/9j/","type":2})"));
    onMain.send("ID_CARD_RED");
    QVERIFY(onMain.waitForMessages(2));
    QCOMPARE(onMain.messages.last(), QStringLiteral("false"));
}

// A page that asks in its onopen, while the GUI thread is busy: nothing of the
// connection waits for the GUI thread.
void tst_WebSocketServerThread::clientSendingAtOnceIsServedWhileGuiThreadIsBlocked()
{
    fixture->setReader(ReaderFixture::card(ReaderFixture::standardFields(), QString()));
    QThread pageThread;
    pageThread.start();
    QStringList received;
    QMutex receivedMutex;
    QObject onPage;
    onPage.moveToThread(&pageThread);
    QWebSocket *page = nullptr;
    QMetaObject::invokeMethod(
        &onPage,
        [&] {
            page = new QWebSocket;
            connect(page, &QWebSocket::connected, page,
                [page] { page->sendTextMessage(QStringLiteral("ID_CARD_RED")); });
            connect(page, &QWebSocket::textMessageReceived, page, [&](const QString &message) {
                QMutexLocker locker(&receivedMutex);
                received << message;
            });
            page->open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(port)));
        },
        Qt::BlockingQueuedConnection);

    QThread::msleep(500); // the GUI thread blocked
    {
        QMutexLocker locker(&receivedMutex);
        QCOMPARE(received.size(), 1);
        QVERIFY(received.first().contains(QStringLiteral("99000019851203002X")));
    }
    QMetaObject::invokeMethod(
        &onPage, [&] { delete page; }, Qt::BlockingQueuedConnection);
    pageThread.quit();
    pageThread.wait();
}

void tst_WebSocketServerThread::replyForClientThatLeftIsDropped()
{
    QJsonObject simulation = ReaderFixture::card(ReaderFixture::standardFields(), QString());
    simulation.insert(QStringLiteral("delayMs"), 100);
    fixture->setReader(simulation);
    {
        WsTestClient leaving;
        QVERIFY(leaving.open(port));
        leaving.send(QStringLiteral("ID_CARD_RED"));
        leaving.webSocket().flush();
    } // gone while its card is being read

    WsTestClient staying;
    QVERIFY(staying.open(port));
    staying.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(staying.waitForMessages(1, 10000));
    QCOMPARE(staying.messages.size(), 1);
    QVERIFY(staying.isConnected());
}

void tst_WebSocketServerThread::faceRequestAndFaceReply()
{
    QSignalSpy begin(worker, &WebSocketServerThread::signal_beginCollect);
    WsTestClient asking, other;
    QVERIFY(asking.open(extraPort));
    QVERIFY(other.open(port));
    asking.send(QStringLiteral("ID_FACE_RED"));
    QTRY_COMPARE(begin.count(), 1);
    QCOMPARE(begin.first().at(1).toInt(), int(asking.localPort()));

    FaceReadData face {
        QStringLiteral("/9j/4AAQSkZJRg+/=="), begin.first().at(0).toString(), begin.first().at(1).toInt()};
    QMetaObject::invokeMethod(
        worker, [&] { worker->slot_recCollectFace(1, face); }, Qt::BlockingQueuedConnection);
    QVERIFY(asking.waitForMessages(1));
    QCOMPARE(asking.messages.first(), QStringLiteral(R"({"ImgCode":"/9j/4AAQSkZJRg+/==","type":2})"));

    // A collection of the program's own page has no client: nothing is sent.
    FaceReadData own {QStringLiteral("abc"), QString(), 0};
    QMetaObject::invokeMethod(
        worker, [&] { worker->slot_recCollectFace(1, own); }, Qt::BlockingQueuedConnection);
    other.send(QStringLiteral("ID_FACE_RED"));
    QTRY_COMPARE(begin.count(), 2);
    QVERIFY(other.messages.isEmpty());
    QCOMPARE(asking.messages.size(), 1);
}

void tst_WebSocketServerThread::extraPortOutsideTheRangeIsNotServed()
{
    // 65536 above a free port: served, it would wrap around to that port.
    const quint16 wrapped = freePort();
    WebSocketServerThread own;
    own.setPorts(freePort(), 65536 + wrapped);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("extraPort \\d+ is no port")));
    own.slot_startwork();
    QVERIFY(own.serverPort() != 0);
    QCOMPARE(own.extraServerPort(), quint16(0));
}

void tst_WebSocketServerThread::programWithoutReaderLibraryAnswersError()
{
    ProgramCopy copy;
    QVERIFY(copy.isValid());
#ifdef Q_OS_WIN
    QVERIFY(copy.removeFromBin(QStringLiteral("SDTAPI.dll")));
#else
    QVERIFY(copy.removeFromBin(QStringLiteral("libSDTAPI.so")));
#endif
    copy.start();
    QVERIFY(copy.waitUntilServing());
    WsTestClient client;
    QVERIFY(client.open(10080));
    client.send(QStringLiteral("ID_CARD_RED"));
    QVERIFY(client.waitForMessages(1));
    QCOMPARE(client.messages, QStringList {QStringLiteral("error")});
    copy.stop();
    QVERIFY(copy.runLog().contains(QStringLiteral("SDTAPI")));
}

QTEST_MAIN(tst_WebSocketServerThread)
#include "tst_websocketserverthread.moc"
