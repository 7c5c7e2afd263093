#ifndef TOLVANE_IDCARDHELPER_H
#define TOLVANE_IDCARDHELPER_H

#include "IDCardReadData.h"

#include <QObject>
#include <QString>

// One complete read of the ID card on the reader per call: opens the reader port,
// selects the card, reads its text and photo, fills an IDCardReadData, writes the
// photo as "cardphoto/<ID number>.jpg" below the working directory and reports
// with one show_message: 1 card read, 2 no card or read error, 3 reader absent.
// Reads block the calling thread for the whole exchange with the reader.
class IdCardHelper : public QObject
{
    Q_OBJECT

public:
    explicit IdCardHelper(QObject *parent = nullptr);
    ~IdCardHelper() override;

    // A read for the program's own page; always writes the photo anew.
    void readCard();
    // A read for a WebSocket client; keeps a photo already written for the ID number.
    void readCardForClient(const QString &ip, uint port);

    // Whether an ID number may name its photo file "cardphoto/<ID number>.jpg":
    // ASCII letters and digits only, and no name a system keeps for a device.
    static bool isPhotoName(const QString &idCard);

signals:
    void show_message(int type, IDCardReadData &message);

private:
    enum class ReadFor
    {
        Page,
        Client
    };

    int read(ReadFor readFor, IDCardReadData &record);
    static void convertCardPhoto(const QString &source, const QString &destination);
};

#endif
