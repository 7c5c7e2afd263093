#include "LocalHttpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QMetaObject>
#include <QProcess>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Far more than any test sends; a head without an end is dropped.
constexpr int maxHeadSize = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

bool hasHeaderIn(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QByteArray LocalHttpRequest::path() const
{
    const int query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

bool LocalHttpRequest::hasHeader(const QByteArray &name) const
{
    return hasHeaderIn(headers, name);
}

QByteArray LocalHttpRequest::header(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return QByteArray();
}

LocalHttpResponse LocalHttpResponse::text(const QByteArray &body, const QByteArray &contentType, int status)
{
    LocalHttpResponse response;
    response.status = status;
    response.headers.append({"Content-Type", contentType});
    response.body = body;
    return response;
}

LocalHttpResponse LocalHttpResponse::json(const QByteArray &body, int status)
{
    return text(body, "application/json", status);
}

// One client connection: reads requests one after the other and answers each
// as its LocalHttpResponse says. Lives on the server's thread.
class LocalHttpConnection : public QObject
{
public:
    LocalHttpConnection(LocalHttpServer *owner, QTcpSocket *socket, QObject *parent)
        : QObject(parent)
        , owner(owner)
        , socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this] {
            buffer.append(this->socket->readAll());
            process();
        });
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    void process()
    {
        while (!busy) {
            const int headEnd = buffer.indexOf("\r\n\r\n");
            if (headEnd < 0) {
                if (buffer.size() > maxHeadSize)
                    socket->abort();
                return;
            }
            const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
            LocalHttpRequest request;
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            for (int i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines.at(i).trimmed();
                const int colon = line.indexOf(':');
                if (colon > 0)
                    request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            }
            bool lengthOk = true;
            const QByteArray lengthText = request.header("Content-Length");
            const qint64 length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
            if (!lengthOk || length < 0) {
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
                busy = true;
                return;
            }
            if (buffer.size() < headEnd + 4 + length)
                return;
            request.body = buffer.mid(headEnd + 4, int(length));
            buffer.remove(0, headEnd + 4 + int(length));
            closeAfter = request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;

            busy = true;
            const LocalHttpResponse response = owner->responseFor(request);
            if (response.noAnswer)
                return; // stays busy until the client or the server goes away
            if (response.delayMs > 0)
                QTimer::singleShot(response.delayMs, this, [this, response] { answer(response); });
            else
                answer(response);
        }
    }

    void answer(const LocalHttpResponse &response)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
            + reasonPhrase(response.status) + "\r\n";
        for (const auto &header : response.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (!response.chunks.isEmpty())
            head += "Transfer-Encoding: chunked\r\n";
        else if (!hasHeaderIn(response.headers, "Content-Length"))
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (closeAfter)
            head += "Connection: close\r\n";
        head += "\r\n";
        socket->write(head);
        if (response.chunks.isEmpty()) {
            socket->write(response.body);
            finish();
        } else {
            socket->flush();
            sendChunk(response, 0);
        }
    }

    void sendChunk(const LocalHttpResponse &response, int index)
    {
        auto step = [this, response, index] {
            if (index >= response.chunks.size()) {
                socket->write("0\r\n\r\n");
                finish();
                return;
            }
            const QByteArray &chunk = response.chunks.at(index);
            if (!chunk.isEmpty()) {
                socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
                socket->flush();
            }
            sendChunk(response, index + 1);
        };
        if (response.chunkIntervalMs > 0 && index < response.chunks.size())
            QTimer::singleShot(response.chunkIntervalMs, this, step);
        else
            step();
    }

    void finish()
    {
        socket->flush();
        owner->recordAnswer();
        busy = false;
        if (closeAfter)
            socket->disconnectFromHost();
        else if (!buffer.isEmpty())
            QTimer::singleShot(0, this, [this] { process(); });
    }

    LocalHttpServer *owner;
    QTcpSocket *socket;
    QByteArray buffer;
    bool busy = false;
    bool closeAfter = false;
};

class LocalHttpServer::Worker : public QTcpServer
{
public:
    Worker(LocalHttpServer *owner, bool tls, const QSslCertificate &certificate, const QSslKey &key)
        : owner(owner)
        , tls(tls)
        , certificate(certificate)
        , key(key)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket *socket = nullptr;
        if (tls) {
            auto *secureSocket = new QSslSocket;
            if (!secureSocket->setSocketDescriptor(descriptor)) {
                delete secureSocket;
                return;
            }
            secureSocket->setLocalCertificate(certificate);
            secureSocket->setPrivateKey(key);
            secureSocket->setProtocol(QSsl::TlsV1_2OrLater);
            secureSocket->setPeerVerifyMode(QSslSocket::VerifyNone);
            secureSocket->startServerEncryption();
            socket = secureSocket;
        } else {
            socket = new QTcpSocket;
            if (!socket->setSocketDescriptor(descriptor)) {
                delete socket;
                return;
            }
        }
        new LocalHttpConnection(owner, socket, this);
    }

private:
    LocalHttpServer *owner;
    const bool tls;
    const QSslCertificate certificate;
    const QSslKey key;
};

LocalHttpServer::LocalHttpServer()
{
    thread.setObjectName(QStringLiteral("LocalHttpServer"));
}

LocalHttpServer::~LocalHttpServer()
{
    close();
}

bool LocalHttpServer::listen(quint16 port)
{
    return start(port, false, QSslCertificate(), QSslKey());
}

bool LocalHttpServer::listenTls(const QSslCertificate &certificate, const QSslKey &key, quint16 port)
{
    return start(port, true, certificate, key);
}

bool LocalHttpServer::start(quint16 port, bool tls, const QSslCertificate &certificate, const QSslKey &key)
{
    close();
    secure = tls;
    thread.start();
    worker = new Worker(this, tls, certificate, key);
    worker->moveToThread(&thread);
    bool ok = false;
    QMetaObject::invokeMethod(
        worker,
        [this, &ok, port] {
            ok = worker->listen(QHostAddress::LocalHost, port);
            boundPort = worker->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (!ok)
        close();
    return ok;
}

void LocalHttpServer::close()
{
    if (!worker)
        return;
    // Server and connections die on their own thread.
    Worker *doomed = worker;
    worker = nullptr;
    QMetaObject::invokeMethod(
        doomed, [doomed] { delete doomed; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    boundPort = 0;
}

QString LocalHttpServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(secure ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(boundPort)
        .arg(path);
}

void LocalHttpServer::setResponse(const QByteArray &path, const LocalHttpResponse &response)
{
    QMutexLocker locker(&mutex);
    responses.insert(path, response);
}

void LocalHttpServer::setHandler(const Handler &newHandler)
{
    QMutexLocker locker(&mutex);
    handler = newHandler;
}

QList<LocalHttpRequest> LocalHttpServer::requests() const
{
    QMutexLocker locker(&mutex);
    return received;
}

int LocalHttpServer::requestCount() const
{
    QMutexLocker locker(&mutex);
    return received.size();
}

int LocalHttpServer::answeredCount() const
{
    QMutexLocker locker(&mutex);
    return answered;
}

bool LocalHttpServer::waitForRequests(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker locker(&mutex);
    while (received.size() < count) {
        if (!changed.wait(&mutex, deadline))
            return received.size() >= count;
    }
    return true;
}

bool LocalHttpServer::waitForAnswers(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker locker(&mutex);
    while (answered < count) {
        if (!changed.wait(&mutex, deadline))
            return answered >= count;
    }
    return true;
}

LocalHttpResponse LocalHttpServer::responseFor(const LocalHttpRequest &request)
{
    Handler chosen;
    LocalHttpResponse response = LocalHttpResponse::text("not found", "text/plain", 404);
    {
        QMutexLocker locker(&mutex);
        received.append(request);
        changed.wakeAll();
        chosen = handler;
        const auto found = responses.constFind(request.path());
        if (found != responses.constEnd())
            response = found.value();
    }
    return chosen ? chosen(request) : response;
}

void LocalHttpServer::recordAnswer()
{
    QMutexLocker locker(&mutex);
    ++answered;
    changed.wakeAll();
}

bool LocalHttpServer::makeTestCertificate(QSslCertificate *certificate, QSslKey *key, QString *error)
{
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
    const QString certificatePath = dir.filePath(QStringLiteral("certificate.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
            QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), keyPath,
            QStringLiteral("-out"), certificatePath, QStringLiteral("-days"), QStringLiteral("30"),
            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
            QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl failed: ")
                + QString::fromLocal8Bit(openssl.readAllStandardError()) + openssl.errorString();
        return false;
    }
    QFile keyFile(keyPath);
    QFile certificateFile(certificatePath);
    if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("openssl wrote no key or certificate");
        return false;
    }
    *key = QSslKey(keyFile.readAll(), QSsl::Rsa);
    *certificate = QSslCertificate(certificateFile.readAll());
    if (key->isNull() || certificate->isNull()) {
        if (error)
            *error = QStringLiteral("openssl's key or certificate does not load");
        return false;
    }
    return true;
}

quint16 LocalHttpServer::unusedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
