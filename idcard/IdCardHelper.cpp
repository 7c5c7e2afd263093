#include "IdCardHelper.h"

#include "SdtApiLibrary.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <cstring>

namespace {

// The port number of the first USB reader; no other port is tried.
constexpr int readerPort = 1001;
// The reader fills at most 304 bytes of text.
constexpr int messageBufferSize = 304;
// The photo folder's text, zero-terminated: 200 bytes for the page's reads,
// 300 for a client's.
constexpr int pageDirectoryBufferSize = 200;
constexpr int clientDirectoryBufferSize = 300;
constexpr int photoWidth = 102;
constexpr int photoHeight = 126;
constexpr int photoQuality = 80;

// The reader's text fields, each ended by one or more zero bytes. Runs of
// separators collapse, so an empty field between two others is lost.
QStringList readerItems(const QByteArray &message, int length)
{
    QByteArray bytes = message.left(length);
    bytes.replace('\0', ';');
    QString text = QString::fromLocal8Bit(bytes);
    text.replace(QRegularExpression(QStringLiteral("[;]+")), QStringLiteral(";"));
    return text.split(QLatin1Char(';'), Qt::KeepEmptyParts);
}

// Names that Windows takes for devices in every folder, whatever the extension.
bool isWindowsDeviceName(const QString &text)
{
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])$"), QRegularExpression::CaseInsensitiveOption);
    return device.match(text).hasMatch();
}

// The ID number names the photo file: only ASCII letters and digits keep every
// card text inside "cardphoto", and no device name may stand for a file.
bool isPlainFileName(const QString &text)
{
    if (text.isEmpty() || isWindowsDeviceName(text))
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')))
            return false;
    }
    return true;
}

} // namespace

bool IdCardHelper::isPhotoName(const QString &idCard)
{
    return isPlainFileName(idCard);
}

IdCardHelper::IdCardHelper(QObject *parent)
    : QObject(parent)
{
    // Loads the reader library now, so that a missing one shows in the log at start-up.
    SdtApiLibrary::instance();
}

IdCardHelper::~IdCardHelper()
{
    SdtApiLibrary::instance().closeComm();
}

void IdCardHelper::readCard()
{
    IDCardReadData record;
    const int type = read(ReadFor::Page, record);
    emit show_message(type, record);
}

void IdCardHelper::readCardForClient(const QString &ip, uint port)
{
    IDCardReadData record;
    record.ip = ip;
    record.port = int(port);
    const int type = read(ReadFor::Client, record);
    emit show_message(type, record);
}

int IdCardHelper::read(ReadFor readFor, IDCardReadData &record)
{
    const SdtApiLibrary &reader = SdtApiLibrary::instance();
    const bool forPage = readFor == ReadFor::Page;
    // The page's reads take any non-zero answer for success, a client's only 1.
    const auto succeeded = [forPage](int result) { return forPage ? result != 0 : result == 1; };

    // Opened anew for every read and left open: the reader may have been plugged
    // in since the last one.
    if (!succeeded(reader.initComm(readerPort))) {
        qDebug() << "Card reader: port" << readerPort << "did not open";
        return 3;
    }

    const QString photoDirectory = QDir::currentPath() + QStringLiteral("/cardphoto");

    if (!succeeded(reader.authenticate())) {
        qDebug() << "Card reader: no card selected";
        return 2;
    }

    // The library takes the folder in the local 8-bit code page, in a buffer of
    // fixed size that must keep its terminating zero.
    const QByteArray directoryText = photoDirectory.toLocal8Bit();
    const int directoryBufferSize = forPage ? pageDirectoryBufferSize : clientDirectoryBufferSize;
    if (directoryText.size() >= directoryBufferSize) {
        qWarning().noquote() << QStringLiteral("Card reader: card not read, the photo folder takes %1 bytes, "
                                               "more than the %2 the reader takes")
                                    .arg(directoryText.size())
                                    .arg(directoryBufferSize - 1);
        return 2;
    }
    if (QString::fromLocal8Bit(directoryText) != photoDirectory)
        qWarning() << "Card reader: the working directory cannot be written in the local code page;"
                   << "the card photo will be missing";

    // A card whose read writes no photo must not get the one of an earlier card.
    const QString bitmapPath = photoDirectory + QStringLiteral("/photo.bmp");
    bool staleBitmap = false;
    if (QFileInfo::exists(bitmapPath) && !QFile::remove(bitmapPath)) {
        qWarning() << "Card reader: cannot remove the earlier card's photo" << bitmapPath
                   << "; no card photo for this read";
        staleBitmap = true;
    }

    QByteArray directoryBuffer(directoryBufferSize, '\0');
    std::memcpy(directoryBuffer.data(), directoryText.constData(), size_t(directoryText.size()));
    QByteArray message(messageBufferSize, '\0');
    int length = 0;
    if (!succeeded(reader.readBaseMsgPhoto(
            reinterpret_cast<unsigned char *>(message.data()), &length, directoryBuffer.data()))) {
        qDebug() << "Card reader: the card could not be read";
        return 2;
    }
    if (length < 0 || length > messageBufferSize) {
        qWarning() << "Card reader reported" << length << "bytes of text, taken as"
                   << qBound(0, length, messageBufferSize);
        length = qBound(0, length, messageBufferSize);
    }

    const QStringList items = readerItems(message, length);
    const auto item = [&items](int index) { return index < items.size() ? items.at(index) : QString(); };
    record.name = item(0);
    record.sex = item(1);
    record.birthday = item(3);
    record.address = item(4);
    record.idCard = item(5);
    record.extra1 = item(6);
    record.extra2 = item(7);
    record.extra3 = item(8);

    if (!isPlainFileName(record.idCard)) {
        qWarning() << "Card reader: no card photo written, the ID number is not a plain file name"
                   << "(ASCII letters and digits, not a device name)";
    } else if (!staleBitmap) {
        const QString photoPath = photoDirectory + QLatin1Char('/') + record.idCard + QStringLiteral(".jpg");
        // A client's read keeps the photo that an earlier read of the card wrote.
        if (forPage || !QFileInfo::exists(photoPath))
            convertCardPhoto(bitmapPath, photoPath);
    }

    const QString nation = item(2);
    if (nation == QStringLiteral("其他") || nation == QStringLiteral("其它"))
        record.nation = QStringLiteral("穿青人");
    else
        record.nation = nation;
    return 1;
}

void IdCardHelper::convertCardPhoto(const QString &source, const QString &destination)
{
    QImageReader reader(source);
    reader.setDecideFormatFromContent(true);
    const QImage photo = reader.read();
    if (photo.isNull()) {
        qDebug() << "Card reader: no card photo:" << reader.errorString();
        return;
    }
    const QImage scaled
        = photo.scaled(photoWidth, photoHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Written whole or not at all: a client's read would keep a broken file for good.
    QSaveFile file(destination);
    if (!file.open(QIODevice::WriteOnly) || !scaled.save(&file, "JPEG", photoQuality) || !file.commit())
        qWarning() << "Card reader: card photo not written:" << destination << file.errorString();
}
