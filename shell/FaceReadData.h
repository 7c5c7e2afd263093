#ifndef TOLVANE_FACEREADDATA_H
#define TOLVANE_FACEREADDATA_H

#include <QMetaType>
#include <QString>

// One accepted face photograph (Base64 JPEG) for the client that asked for it.
struct FaceReadData
{
    QString imageBase64;
    QString ip;
    int port = 0;
};

Q_DECLARE_METATYPE(FaceReadData)

#endif
