#ifndef TOLVANE_IDCARDREADDATA_H
#define TOLVANE_IDCARDREADDATA_H

#include <QMetaType>
#include <QString>

// One reading of an ID card, and the WebSocket client that asked for it
// (empty ip and port 0 for a reading of the program's own page).
struct IDCardReadData
{
    QString name;
    QString sex;
    QString nation;
    QString birthday;
    QString address;
    QString idCard;
    QString extra1;
    QString extra2;
    QString extra3;
    QString ip;
    int port = 0;
};

Q_DECLARE_METATYPE(IDCardReadData)

#endif
