#ifndef TOLVANE_WEBSOCKETSERVERTHREAD_H
#define TOLVANE_WEBSOCKETSERVERTHREAD_H

#include "FaceReadData.h"
#include "IDCardReadData.h"

#include <QObject>
#include <QString>

class IdCardHelper;
class WebSocketServerManager;

// The bridge worker: serves the browser pages' requests "ID_CARD_RED" and
// "ID_FACE_RED" and sends each result to the client that asked. Created on the
// GUI thread and moved to the bridge thread together with its managers and the
// card reader, so that every connection is served there, whatever the GUI
// thread is doing.
class WebSocketServerThread : public QObject
{
    Q_OBJECT

public:
    WebSocketServerThread();
    ~WebSocketServerThread() override;

    // Ports of the two listeners after slot_startwork, 0 for one not listening.
    quint16 serverPort() const;
    quint16 extraServerPort() const;

    // Where slot_startwork listens; the defaults are 10080 and the extraPort setting.
    void setPorts(int port, int extraPort);

    static QString imageFileToBase64(const QString &path);

signals:
    void signal_DataComplete(int type, IDCardReadData &data);
    void signal_beginCollect(QString ip, int port);

public slots:
    void slot_startwork();
    void slot_recCardData(int type, IDCardReadData &cardData);
    void slot_recSocketMessage(QString ip, uint port, QString message);
    void slot_readcard();
    void slot_serverError(QString ip, uint port, QString errorString);
    void slot_recCollectFace(int type, FaceReadData &faceData);

private:
    void sendToClient(const QString &ip, int port, const QString &message);

    IdCardHelper *cardHelper;
    WebSocketServerManager *serverManager;
    // The same protocol on a second port, for browsers that refuse 10080.
    WebSocketServerManager *extraServerManager;
    int port;
    int extraPort;
    // The manager whose client asked for the card being read, while it is read.
    WebSocketServerManager *cardRequestManager = nullptr;
    // The last client that asked for a face, and the manager it came through;
    // the face page serves one requester, the last one.
    WebSocketServerManager *faceRequestManager = nullptr;
    QString faceRequestIp;
    int faceRequestPort = 0;
};

#endif
