#ifndef TOLVANE_TEST_READERFIXTURE_H
#define TOLVANE_TEST_READERFIXTURE_H

#include "IDCardReadData.h"
#include "LogCapture.h"

#include <QColor>
#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class IdCardHelper;

// One card-reading case: a temporary folder that is the working directory
// (".../work/<workDirName>", with "cardphoto" below it unless told otherwise), the
// reader simulation the stand-in library reads on every call, and its trace.
class ReaderFixture
{
public:
    explicit ReaderFixture(const QString &workDirName = QStringLiteral("work"), bool withPhotoFolder = true);
    ~ReaderFixture();

    bool isValid() const { return valid; }
    QString root() const { return dir.path(); }
    QString workDir() const { return work; }
    QString photoFolder() const { return work + QStringLiteral("/cardphoto"); }
    QString photoPath(const QString &idNumber) const;
    QString tracePath() const { return dir.path() + QStringLiteral("/trace.txt"); }

    // Writes the simulation and points SDTAPI_SIM at it; the trace file is added.
    void setReader(QJsonObject simulation);
    // Points SDTAPI_SIM at a file holding exactly `text`.
    void setReaderFileText(const QByteArray &text);
    // The calls the stand-in saw, one a line.
    QStringList trace() const;
    // An image file of one colour, for the simulation's "photo".
    QString writeImage(const QString &fileName, const QSize &size, const QColor &colour) const;
    // Every JPEG file below the temporary folder.
    QStringList jpegFiles() const;

    // A simulation holding a card with these fields.
    static QJsonObject card(const QStringList &fields, const QString &photo);
    // Fields of an ordinary card, in the reader's order.
    static QStringList standardFields();

    struct Result
    {
        int type = 0;
        int emissions = 0;
        IDCardReadData record;
    };
    static Result readCard(IdCardHelper &helper);
    static Result readCardForClient(IdCardHelper &helper, const QString &ip, uint port);

private:
    QTemporaryDir dir;
    QString work;
    QString previousDir;
    bool valid = false;
};

#endif
