#include "WebSocketServerThread.h"

#include "IdCardHelper.h"
#include "RunLog.h"
#include "Settings.h"
#include "WebSocketServerManager.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString serverName = QStringLiteral("myServer");

// Compact, keys in ascending order, UTF-8 as it is, "/" unescaped.
QString compactJson(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

WebSocketServerThread::WebSocketServerThread()
    // Children, so that moving the worker to the bridge thread moves them too.
    : cardHelper(new IdCardHelper(this))
    , serverManager(new WebSocketServerManager(serverName, QWebSocketServer::NonSecureMode, this))
    , extraServerManager(new WebSocketServerManager(serverName, QWebSocketServer::NonSecureMode, this))
    , port(10080)
    , extraPort(::extraPort.get())
{
    connect(cardHelper, &IdCardHelper::show_message, this, &WebSocketServerThread::slot_recCardData);
    for (WebSocketServerManager *manager : {serverManager, extraServerManager}) {
        connect(manager, &WebSocketServerManager::signal_textMessageReceived, this,
            &WebSocketServerThread::slot_recSocketMessage);
        connect(
            manager, &WebSocketServerManager::signal_error, this, &WebSocketServerThread::slot_serverError);
    }
}

WebSocketServerThread::~WebSocketServerThread()
{
    // Clients are told goodbye (1000) before the reader is closed.
    for (WebSocketServerManager *manager : {serverManager, extraServerManager}) {
        if (manager->isRunning())
            manager->slot_stop();
    }
    delete extraServerManager;
    delete serverManager;
    delete cardHelper;
}

quint16 WebSocketServerThread::serverPort() const
{
    return serverManager->serverPort();
}

quint16 WebSocketServerThread::extraServerPort() const
{
    return extraServerManager->serverPort();
}

void WebSocketServerThread::setPorts(int port, int extraPort)
{
    this->port = port;
    this->extraPort = extraPort;
}

void WebSocketServerThread::slot_startwork()
{
    serverManager->slot_start(QHostAddress::Any, port);
    if (extraPort < 0 || extraPort > 65535)
        qWarning() << "extraPort" << extraPort << "is no port; the second port stays closed";
    else if (extraPort > 0 && extraPort != port)
        extraServerManager->slot_start(QHostAddress::Any, extraPort);
}

void WebSocketServerThread::slot_recSocketMessage(QString ip, uint port, QString message)
{
    if (message == QLatin1String("ID_CARD_RED")) {
        // The reading reports before it returns; its reply goes back only through
        // the port the request came in on.
        cardRequestManager = qobject_cast<WebSocketServerManager *>(sender());
        cardHelper->readCardForClient(ip, port);
        cardRequestManager = nullptr;
    } else if (message == QLatin1String("ID_FACE_RED")) {
        faceRequestManager = qobject_cast<WebSocketServerManager *>(sender());
        faceRequestIp = ip;
        faceRequestPort = int(port);
        emit signal_beginCollect(ip, int(port));
    }
}

void WebSocketServerThread::slot_recCardData(int type, IDCardReadData &cardData)
{
    switch (type) {
    case 1: {
        emit signal_DataComplete(type, cardData);
        QJsonObject card {{QStringLiteral("Name"), cardData.name}, {QStringLiteral("Sex"), cardData.sex},
            {QStringLiteral("Nation"), cardData.nation}, {QStringLiteral("Birthday"), cardData.birthday},
            {QStringLiteral("Address"), cardData.address}, {QStringLiteral("IDCard"), cardData.idCard}};
        const QString logText = compactJson(card);
        card.insert(QStringLiteral("type"), 1);
        card.insert(QStringLiteral("ImgCode"),
            IdCardHelper::isPhotoName(cardData.idCard) ? imageFileToBase64(QDir::currentPath()
                + QStringLiteral("/cardphoto/") + cardData.idCard + QStringLiteral(".jpg"))
                                                       : QString());
        sendToClient(cardData.ip, cardData.port, compactJson(card));
        qInfo() << "CardInfo is:" << logText;
        break;
    }
    case 2:
        sendToClient(cardData.ip, cardData.port, QStringLiteral("false"));
        break;
    case 3:
        sendToClient(cardData.ip, cardData.port, QStringLiteral("error"));
        break;
    default:
        break;
    }
}

void WebSocketServerThread::slot_readcard()
{
    cardHelper->readCard();
}

void WebSocketServerThread::slot_serverError(QString ip, uint port, QString errorString)
{
    Q_UNUSED(ip)
    Q_UNUSED(port)
    qDebug() << QStringLiteral("服务端发送错误,错误信息: ") + errorString;
}

void WebSocketServerThread::slot_recCollectFace(int type, FaceReadData &faceData)
{
    Q_UNUSED(type)
    const QJsonObject reply {{QStringLiteral("ImgCode"), faceData.imageBase64}, {QStringLiteral("type"), 2}};
    if (faceRequestManager && faceData.ip == faceRequestIp && faceData.port == faceRequestPort) {
        faceRequestManager->slot_sendData(faceData.ip, faceData.port, compactJson(reply));
        return;
    }
    sendToClient(faceData.ip, faceData.port, compactJson(reply));
}

QString WebSocketServerThread::imageFileToBase64(const QString &path)
{
    QImage image;
    if (!image.load(path))
        return QString();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpg");
    return QString::fromLatin1(jpeg.toBase64());
}

void WebSocketServerThread::sendToClient(const QString &ip, int port, const QString &message)
{
    // The system may give one local port to a connection to each of our ports,
    // so both tables can hold the key: a card reply goes only to the manager of
    // its request. Any other reply goes to both; a manager that does not know
    // the key drops it.
    if (cardRequestManager) {
        cardRequestManager->slot_sendData(ip, port, message);
        return;
    }
    serverManager->slot_sendData(ip, port, message);
    extraServerManager->slot_sendData(ip, port, message);
}
