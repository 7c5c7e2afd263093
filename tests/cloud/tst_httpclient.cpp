#include "HttpClient.h"
#include "LocalHttpServer.h"
#include "NetDataListenerThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <zlib.h>

namespace {

QByteArray gzipped(const QByteArray &plain)
{
    z_stream stream {};
    // 16 + 15 window bits: a gzip wrapper around the deflate data.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray out(int(deflateBound(&stream, uLong(plain.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// The three operations behind one name, so that tables can name them.
int request(HttpClient &client, const QString &operation, const QString &url, QByteArray *response,
    int timeout, const QByteArray &body = "a=1&b=2", const QMap<QString, QString> &headers = {})
{
    if (operation == QLatin1String("get"))
        return client.get(url, response, timeout);
    if (operation == QLatin1String("post"))
        return client.post(url, &body, response, timeout);
    return client.postJson(url, &body, headers, response, timeout);
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void requestHeaders_data();
    void requestHeaders();
    void chunkedBodyComesBackWhole_data();
    void chunkedBodyComesBackWhole();
    void compressedBody_data();
    void compressedBody();
    void httpErrorKeepsBody_data();
    void httpErrorKeepsBody();
    void unreachablePort();
    void serverThatNeverAnswers_data();
    void serverThatNeverAnswers();
    void zeroTimeoutWaitsForSlowReply_data();
    void zeroTimeoutWaitsForSlowReply();
    void tlsPostWithoutPeerVerification();
    void refusedRequests();
    void replyCompleteAtOnce_data();
    void replyCompleteAtOnce();
    void threadEndingDuringRequest();
    void oversizedReplyIsCutOff();
    void clientOnPlainThread();

private:
    LocalHttpServer server;
};

void TestHttpClient::initTestCase()
{
    QVERIFY(server.listen());
    server.setResponse("/echo", LocalHttpResponse::text("echoed"));
}

void TestHttpClient::requestHeaders_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("ownHeaders");

    QTest::newRow("get") << "get" << QByteArray("GET") << QByteArray() << false;
    QTest::newRow("post") << "post" << QByteArray("POST") << QByteArray("application/x-www-form-urlencoded")
                          << true;
    QTest::newRow("postJson") << "postJson" << QByteArray("POST") << QByteArray("application/json") << true;
}

void TestHttpClient::requestHeaders()
{
    QFETCH(QString, operation);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, ownHeaders);

    HttpClient client;
    QByteArray response;
    const QByteArray body = R"({"image":"abc","group":"中文"})";
    const QMap<QString, QString> extra {{QStringLiteral("X-Access-Key"), QStringLiteral("A7D2E90B")},
        {QStringLiteral("X-Sign"), QStringLiteral("s=1; t=2")}};
    const int before = server.requestCount();
    QCOMPARE(
        request(client, operation, server.url(QStringLiteral("/echo?x=1")), &response, 2000, body, extra), 0);
    QCOMPARE(response, QByteArray("echoed"));
    QCOMPARE(server.requestCount(), before + 1);

    const LocalHttpRequest seen = server.requests().constLast();
    QCOMPARE(seen.method, method);
    QCOMPARE(seen.target, QByteArray("/echo?x=1"));
    QCOMPARE(seen.header("Content-Type"), contentType);
    if (ownHeaders) {
        QCOMPARE(seen.header("Accept"), QByteArray("*/*"));
        QCOMPARE(seen.header("Accept-Language"), QByteArray("zh-cn"));
        QCOMPARE(seen.header("Accept-Encoding"), QByteArray("gzip,deflate,br"));
        QCOMPARE(seen.header("Content-Length"), QByteArray::number(body.size()));
        QCOMPARE(seen.body, body);
    } else {
        QVERIFY(seen.header("Accept") != "*/*");
        QVERIFY(seen.header("Accept-Language") != "zh-cn");
        QVERIFY(seen.header("Accept-Encoding") != "gzip,deflate,br");
        QVERIFY(seen.body.isEmpty());
    }
    const bool json = operation == QLatin1String("postJson");
    QCOMPARE(seen.header("X-Access-Key"), json ? QByteArray("A7D2E90B") : QByteArray());
    QCOMPARE(seen.header("X-Sign"), json ? QByteArray("s=1; t=2") : QByteArray());
}

void TestHttpClient::chunkedBodyComesBackWhole_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("get") << "get";
    QTest::newRow("post") << "post";
    QTest::newRow("postJson") << "postJson";
}

void TestHttpClient::chunkedBodyComesBackWhole()
{
    QFETCH(QString, operation);

    LocalHttpResponse chunked;
    chunked.addHeader("Content-Type", "application/octet-stream");
    QByteArray large(256 * 1024, '\0');
    for (int i = 0; i < large.size(); ++i)
        large[i] = char('a' + (i * 7) % 26);
    chunked.chunks = {"first|", "second|", large, "|third", "|last"};
    chunked.chunkIntervalMs = 40;
    server.setResponse("/chunked", chunked);

    HttpClient client;
    QByteArray response = "stale";
    QCOMPARE(request(client, operation, server.url(QStringLiteral("/chunked")), &response, 5000), 0);
    QCOMPARE(response.size(), chunked.chunks.join().size());
    QCOMPARE(response, chunked.chunks.join());
}

void TestHttpClient::compressedBody_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("decoded");
    // get leaves Accept-Encoding to Qt, which then decodes; the posts ask for
    // compression themselves and get the bytes as sent.
    QTest::newRow("get") << "get" << true;
    QTest::newRow("post") << "post" << false;
    QTest::newRow("postJson") << "postJson" << false;
}

void TestHttpClient::compressedBody()
{
    QFETCH(QString, operation);
    QFETCH(bool, decoded);

    const QByteArray plain = R"({"result":"ok","text":"compressed reply, compressed reply"})";
    const QByteArray packed = gzipped(plain);
    QVERIFY(!packed.isEmpty());
    LocalHttpResponse response = LocalHttpResponse::json(packed);
    response.addHeader("Content-Encoding", "gzip");
    server.setResponse("/gzip", response);

    HttpClient client;
    QByteArray received;
    QCOMPARE(request(client, operation, server.url(QStringLiteral("/gzip")), &received, 2000), 0);
    QCOMPARE(received, decoded ? plain : packed);
}

void TestHttpClient::httpErrorKeepsBody_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("expected");

    QTest::newRow("get 404") << "get" << 404 << int(QNetworkReply::ContentNotFoundError);
    QTest::newRow("post 404") << "post" << 404 << int(QNetworkReply::ContentNotFoundError);
    QTest::newRow("postJson 500") << "postJson" << 500 << int(QNetworkReply::InternalServerError);
    QTest::newRow("get 503") << "get" << 503 << int(QNetworkReply::ServiceUnavailableError);
}

void TestHttpClient::httpErrorKeepsBody()
{
    QFETCH(QString, operation);
    QFETCH(int, status);
    QFETCH(int, expected);

    const QByteArray page = "<html>error page " + QByteArray::number(status) + "</html>";
    server.setResponse("/error", LocalHttpResponse::text(page, "text/html", status));

    HttpClient client;
    QByteArray response = "stale";
    QCOMPARE(request(client, operation, server.url(QStringLiteral("/error")), &response, 2000), expected);
    QCOMPARE(response, page);
    // The error belongs to that request only.
    QCOMPARE(client.get(server.url(QStringLiteral("/echo")), &response, 2000), 0);
    QCOMPARE(response, QByteArray("echoed"));
}

void TestHttpClient::unreachablePort()
{
    const quint16 port = LocalHttpServer::unusedPort();
    QVERIFY(port != 0);
    const QString url = QStringLiteral("http://127.0.0.1:%1/facesetting.json").arg(port);

    HttpClient client;
    for (const QString &operation :
        {QStringLiteral("get"), QStringLiteral("post"), QStringLiteral("postJson")}) {
        QByteArray response = "stale";
        QCOMPARE(
            request(client, operation, url, &response, 2000), int(QNetworkReply::ConnectionRefusedError));
        QVERIFY2(response.isEmpty(), qPrintable(operation));
    }
}

void TestHttpClient::serverThatNeverAnswers_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("timeout");
    QTest::newRow("get") << "get" << 300;
    QTest::newRow("post") << "post" << 300;
    QTest::newRow("postJson") << "postJson" << 1;
}

void TestHttpClient::serverThatNeverAnswers()
{
    QFETCH(QString, operation);
    QFETCH(int, timeout);

    LocalHttpResponse silence;
    silence.noAnswer = true;
    server.setResponse("/silent", silence);
    const QString url = server.url(QStringLiteral("/silent"));

    HttpClient client;
    QByteArray response = "previous download";
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("\"请求地址:%1超时\"").arg(url)));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(request(client, operation, url, &response, timeout), int(QNetworkReply::TimeoutError));
    QVERIFY(clock.elapsed() >= timeout);
    QCOMPARE(response, QByteArray("previous download"));

    // The abandoned request leaves nothing behind in the client.
    QCOMPARE(request(client, operation, server.url(QStringLiteral("/echo")), &response, 2000), 0);
    QCOMPARE(response, QByteArray("echoed"));
}

void TestHttpClient::zeroTimeoutWaitsForSlowReply_data()
{
    QTest::addColumn<int>("timeout");
    QTest::newRow("0") << 0;
    QTest::newRow("negative") << -5;
}

void TestHttpClient::zeroTimeoutWaitsForSlowReply()
{
    QFETCH(int, timeout);

    LocalHttpResponse slow = LocalHttpResponse::text("late but whole");
    slow.delayMs = 2500;
    server.setResponse("/slow", slow);

    HttpClient client;
    QByteArray response;
    QCOMPARE(client.get(server.url(QStringLiteral("/slow")), &response, timeout), 0);
    QCOMPARE(response, QByteArray("late but whole"));
}

void TestHttpClient::tlsPostWithoutPeerVerification()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS back end here");
    QSslCertificate certificate;
    QSslKey key;
    QString error;
    QVERIFY2(LocalHttpServer::makeTestCertificate(&certificate, &key, &error), qPrintable(error));

    // A server that speaks TLS 1.2 and later only, with a certificate no one signed.
    LocalHttpServer secure;
    QVERIFY(secure.listenTls(certificate, key));
    secure.setResponse("/valid/detect", LocalHttpResponse::json(R"({"code":0})"));
    const QString url = secure.url(QStringLiteral("/valid/detect"));

    HttpClient client;
    QByteArray response;
    const QByteArray body = R"({"image":"abc"})";
    QCOMPARE(client.post(url, &body, &response, 5000), 0);
    QCOMPARE(response, QByteArray(R"({"code":0})"));
    response.clear();
    QCOMPARE(
        client.postJson(url, &body, {{QStringLiteral("X-Key"), QStringLiteral("1")}}, &response, 5000), 0);
    QCOMPARE(response, QByteArray(R"({"code":0})"));
    QCOMPARE(secure.requests().constLast().header("X-Key"), QByteArray("1"));

    // get keeps Qt's default TLS settings, which verify the peer (a new client,
    // so that no open connection of the posts is reused).
    HttpClient verifying;
    QCOMPARE(verifying.get(url, &response, 5000), int(QNetworkReply::SslHandshakeFailedError));
}

void TestHttpClient::refusedRequests()
{
    HttpClient client;
    const QByteArray body = "{}";
    QByteArray response = "kept";
    const int before = server.requestCount();

    // A header that would smuggle a second header line into the request.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused: header"));
    const int injected = client.postJson(server.url(QStringLiteral("/echo")), &body,
        {{QStringLiteral("X-Key"), QStringLiteral("1\r\nX-Admin: yes")}}, &response, 2000);
    QVERIFY(injected != 0);
    QCOMPARE(response, QByteArray("kept"));

    // Used from a thread the client does not belong to.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("belongs to another thread"));
    int foreign = 0;
    std::thread other([&] { foreign = client.get(server.url(QStringLiteral("/echo")), &response, 2000); });
    other.join();
    QVERIFY(foreign != 0);
    QCOMPARE(response, QByteArray("kept"));
    QCOMPARE(server.requestCount(), before);

    // No URL at all: Qt's own error code, and no body.
    QVERIFY(client.get(QString(), &response, 2000) != 0);
    QVERIFY(client.get(QStringLiteral("not a url at all"), &response, 2000) != 0);
}

void TestHttpClient::replyCompleteAtOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("body");

    // Local files are read while the request is made; their error comes queued.
    QTest::newRow("file") << "facesetting.json" << 0 << QByteArray(R"({"face":{}})");
    QTest::newRow("missing file") << "missing.json" << int(QNetworkReply::ContentNotFoundError)
                                  << QByteArray();
    QTest::newRow("folder") << "." << int(QNetworkReply::ContentOperationNotPermittedError) << QByteArray();
}

void TestHttpClient::replyCompleteAtOnce()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    QFETCH(QByteArray, body);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("facesetting.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"face":{}})");
    file.close();
    const QString url = QUrl::fromLocalFile(QDir(dir.path()).absoluteFilePath(name)).toString();

    HttpClient client;
    QByteArray response = "stale";
    QCOMPARE(client.get(url, &response, 2000), expected);
    QCOMPARE(response, body);
}

void TestHttpClient::threadEndingDuringRequest()
{
    // A worker thread told to quit while one of its slots waits for a reply.
    LocalHttpResponse slow = LocalHttpResponse::text("too late");
    slow.delayMs = 3000;
    server.setResponse("/slow-for-quit", slow);
    const QString url = server.url(QStringLiteral("/slow-for-quit"));
    const int before = server.requestCount();

    QThread thread;
    std::atomic<int> result {-1};
    QByteArray response = "kept";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("abandoned: its thread is ending"));
    connect(&thread, &QThread::started, [&] {
        HttpClient client;
        result = client.get(url, &response, 10000);
    });
    thread.start();
    QVERIFY(server.waitForRequests(before + 1));
    thread.quit();
    QVERIFY(thread.wait(2000));
    QCOMPARE(result.load(), int(QNetworkReply::OperationCanceledError));
    QCOMPARE(response, QByteArray("kept"));
}

void TestHttpClient::oversizedReplyIsCutOff()
{
    // 1 MiB more than a reply may hold, in chunks that share one buffer.
    LocalHttpResponse flood;
    const QByteArray mebibyte(1024 * 1024, 'x');
    for (int i = 0; i <= NetDataListenerThread::maxDataSize / mebibyte.size(); ++i)
        flood.chunks.append(mebibyte);
    server.setResponse("/flood", flood);

    HttpClient client;
    QByteArray response = "kept";
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused: it exceeds 67108864 bytes"));
    QCOMPARE(client.get(server.url(QStringLiteral("/flood")), &response, 20000),
        int(QNetworkReply::UnknownContentError));
    QCOMPARE(response, QByteArray("kept"));

    // Exactly the limit still comes back whole.
    flood.chunks.removeLast();
    server.setResponse("/flood", flood);
    QCOMPARE(client.get(server.url(QStringLiteral("/flood")), &response, 20000), 0);
    QCOMPARE(response.size(), NetDataListenerThread::maxDataSize);
}

void TestHttpClient::clientOnPlainThread()
{
    // The settings refresher's situation: a standard thread with no event loop
    // that creates, uses and destroys its own client.
    int result = -1;
    QByteArray response;
    const QString url = server.url(QStringLiteral("/echo"));
    std::thread plain([&] {
        HttpClient client;
        result = client.get(url, &response, 2000);
    });
    plain.join();
    QCOMPARE(result, 0);
    QCOMPARE(response, QByteArray("echoed"));
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
