#ifndef TOLVANE_TEST_LOCALHTTPSERVER_H
#define TOLVANE_TEST_LOCALHTTPSERVER_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QScopedPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <functional>

// One request as it arrived.
struct LocalHttpRequest
{
    QByteArray method;
    QByteArray target; // path and query, as sent
    QList<QPair<QByteArray, QByteArray>> headers; // in the order sent, names as sent
    QByteArray body;

    QByteArray path() const;
    bool hasHeader(const QByteArray &name) const; // names compare case-insensitively
    QByteArray header(const QByteArray &name) const; // first value, empty when absent
};

// What the server does with a request.
struct LocalHttpResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Length is added unless chunked
    QByteArray body;
    QList<QByteArray> chunks; // when not empty: sent with chunked transfer coding, one chunk each
    int chunkIntervalMs = 0; // pause before each chunk
    int delayMs = 0; // pause before the status line
    bool noAnswer = false; // read the request and never answer

    void addHeader(const QByteArray &name, const QByteArray &value) { headers.append({name, value}); }

    static LocalHttpResponse text(
        const QByteArray &body, const QByteArray &contentType = "text/plain", int status = 200);
    static LocalHttpResponse json(const QByteArray &body, int status = 200);
};

// A real HTTP/1.1 server on 127.0.0.1 (port chosen by the system), optionally
// over TLS, on a thread of its own, so that blocking clients can be tested from
// the test's thread. Requests to paths without a response get 404.
class LocalHttpServer
{
public:
    using Handler = std::function<LocalHttpResponse(const LocalHttpRequest &)>;

    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    // Port 0 lets the system choose; tests name a port only where a fixed one
    // is the point.
    bool listen(quint16 port = 0);
    // TLS 1.2 or later with this certificate and key.
    bool listenTls(const QSslCertificate &certificate, const QSslKey &key, quint16 port = 0);
    void close();

    quint16 port() const { return boundPort; }
    // "http://127.0.0.1:<port><path>" (https with TLS).
    QString url(const QString &path) const;

    // Answer for one path (without query). Safe to call while clients run.
    void setResponse(const QByteArray &path, const LocalHttpResponse &response);
    // Decides for every request, ahead of setResponse; runs on the server's thread.
    void setHandler(const Handler &handler);

    QList<LocalHttpRequest> requests() const;
    int requestCount() const;
    // Responses written completely (a noAnswer request never counts).
    int answeredCount() const;
    // Blocks the calling thread (it processes no events) until `count` requests
    // arrived or the time ran out.
    bool waitForRequests(int count, int timeoutMs = 5000) const;
    bool waitForAnswers(int count, int timeoutMs = 5000) const;

    // A self-signed certificate for 127.0.0.1 made with the openssl tool.
    static bool makeTestCertificate(QSslCertificate *certificate, QSslKey *key, QString *error = nullptr);

    // A port on 127.0.0.1 that nothing listens on right now.
    static quint16 unusedPort();

private:
    friend class LocalHttpConnection;
    bool start(quint16 port, bool tls, const QSslCertificate &certificate, const QSslKey &key);
    LocalHttpResponse responseFor(const LocalHttpRequest &request);
    void recordAnswer();

    class Worker;
    QThread thread;
    Worker *worker = nullptr; // lives on `thread`, deleted there when it finishes
    quint16 boundPort = 0;
    bool secure = false;

    mutable QMutex mutex;
    mutable QWaitCondition changed;
    QList<LocalHttpRequest> received;
    int answered = 0;
    QMap<QByteArray, LocalHttpResponse> responses;
    Handler handler;
};

#endif
