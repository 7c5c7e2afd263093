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
