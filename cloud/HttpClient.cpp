#include "HttpClient.h"

#include "NetDataListenerThread.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>
#include <QUrl>

namespace {

// Refusals that never reach the network.
constexpr int refusedRequest = QNetworkReply::ProtocolInvalidOperationError;

bool isSafeHeaderText(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

} // namespace

HttpClient::HttpClient(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
{
    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
}

HttpClient::~HttpClient() = default;

int HttpClient::get(const QString &url, QByteArray *response, int timeout)
{
    return perform(Method::Get, url, nullptr, {}, response, timeout);
}

int HttpClient::post(const QString &url, const QByteArray *body, QByteArray *response, int timeout)
{
    return perform(Method::Form, url, body, {}, response, timeout);
}

int HttpClient::postJson(const QString &url, const QByteArray *body, const QMap<QString, QString> &headers,
    QByteArray *response, int timeout)
{
    return perform(Method::Json, url, body, headers, response, timeout);
}

void HttpClient::slot_error(QNetworkReply::NetworkError code)
{
    lastError = code;
}

int HttpClient::perform(Method method, const QString &url, const QByteArray *body,
    const QMap<QString, QString> &headers, QByteArray *response, int timeout)
{
    if (QThread::currentThread() != thread()) {
        qWarning() << "HttpClient: request to" << url << "refused: the client belongs to another thread";
        return refusedRequest;
    }
    if (busy) {
        // A slot run by the local event loop of a request in progress.
        qWarning() << "HttpClient: request to" << url
                   << "refused: another request of this client is in progress";
        return refusedRequest;
    }

    lastError = 0;
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    const QByteArray payload = body ? *body : QByteArray();
    if (method != Method::Get) {
        QSslConfiguration tls = request.sslConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        request.setSslConfiguration(tls);
        request.setRawHeader("Accept", "*/*");
        request.setRawHeader("Accept-Language", "zh-cn");
        request.setRawHeader("Accept-Encoding", "gzip,deflate,br");
        request.setHeader(QNetworkRequest::ContentTypeHeader,
            method == Method::Json ? QByteArrayLiteral("application/json")
                                   : QByteArrayLiteral("application/x-www-form-urlencoded"));
        request.setHeader(QNetworkRequest::ContentLengthHeader, payload.size());
        for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
            const QByteArray name = it.key().toLocal8Bit();
            const QByteArray value = it.value().toLocal8Bit();
            if (name.isEmpty() || !isSafeHeaderText(name) || !isSafeHeaderText(value)) {
                qWarning() << "HttpClient: request to" << url << "refused: header" << name
                           << "holds a line break or is empty";
                return refusedRequest;
            }
            request.setRawHeader(name, value);
        }
    }

    QNetworkReply *reply = method == Method::Get ? manager->get(request) : manager->post(request, payload);
    connect(reply, &QNetworkReply::errorOccurred, this, &HttpClient::slot_error);
    busy = true;
    {
        QEventLoop loop;
        // Connects to the reply before this thread runs any event, so no part of
        // the reply can pass unseen.
        NetDataListenerThread watchdog(timeout, reply);
        connect(&watchdog, &NetDataListenerThread::sig_waitTimeout, &loop, &QEventLoop::quit);
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        watchdog.start(QThread::InheritPriority);
        if (!reply->isFinished())
            loop.exec();

        if (watchdog.result()) {
            lastError = QNetworkReply::TimeoutError;
            qCritical() << QStringLiteral("请求地址:%1超时").arg(url);
        } else if (watchdog.tooLarge()) {
            lastError = QNetworkReply::UnknownContentError;
            qWarning() << "HttpClient: reply of" << url << "refused: it exceeds"
                       << NetDataListenerThread::maxDataSize << "bytes";
        } else if (!reply->isFinished()) {
            // QThread::quit() or QCoreApplication::exit() ended the wait: the
            // request is abandoned, not done.
            lastError = QNetworkReply::OperationCanceledError;
            qWarning() << "HttpClient: request to" << url << "abandoned: its thread is ending";
        } else {
            // A reply that was complete at once (a local file, say) queues its
            // error signal behind the wait, so ask the reply itself.
            if (lastError == 0)
                lastError = reply->error();
            watchdog.readyRead();
            if (response)
                *response = watchdog.data();
        }
        // The watchdog's thread ends with it, here.
    }
    busy = false;

    // An unfinished reply is aborted; what it reports then is no longer ours.
    disconnect(reply, nullptr, this, nullptr);
    delete reply;

    const int result = lastError;
    lastError = 0;
    return result;
}
