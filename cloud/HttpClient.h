#ifndef TOLVANE_HTTPCLIENT_H
#define TOLVANE_HTTPCLIENT_H

#include <QByteArray>
#include <QMap>
#include <QNetworkReply>
#include <QObject>
#include <QString>

class QNetworkAccessManager;

// One synchronous HTTP request at a time: the calling thread sends it and runs a
// local event loop until the reply has finished or the watchdog
// (NetDataListenerThread) has run out. Works on a thread without an event loop
// of its own, but only on the thread the client belongs to; each thread that
// makes requests owns its own client.
//
// Every operation returns 0 when the reply finished without error, the
// QNetworkReply::NetworkError the reply reported (an HTTP error status
// included; its body is still delivered), or 4 (TimeoutError) when `timeout`
// milliseconds passed first, in which case `response` is left as it was.
// A timeout of 0 or less waits for the reply however long it takes. A reply
// over 64 MiB gives UnknownContentError, and a wait ended by the thread being
// told to quit gives OperationCanceledError; both leave `response` as it was.
class HttpClient : public QObject
{
    Q_OBJECT

public:
    explicit HttpClient(QObject *parent = nullptr);
    ~HttpClient() override;

    // GET with Qt's own headers (Qt decodes a compressed reply) and default TLS.
    int get(const QString &url, QByteArray *response, int timeout);
    // POST of a form, "application/x-www-form-urlencoded".
    int post(const QString &url, const QByteArray *body, QByteArray *response, int timeout);
    // POST of JSON, "application/json", plus every entry of `headers` as a raw
    // header. A name or value holding a line break or NUL refuses the request.
    int postJson(const QString &url, const QByteArray *body, const QMap<QString, QString> &headers,
        QByteArray *response, int timeout);

public slots:
    void slot_error(QNetworkReply::NetworkError code);

private:
    enum class Method
    {
        Get,
        Form,
        Json
    };
    int perform(Method method, const QString &url, const QByteArray *body,
        const QMap<QString, QString> &headers, QByteArray *response, int timeout);

    QNetworkAccessManager *manager; // child of this client, so it follows the client's thread
    int lastError = 0;
    bool busy = false;
};

#endif
