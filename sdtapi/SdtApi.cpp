#include "SdtApi.h"

#include "ReaderSimulation.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Between InitComm and CloseComm, like a real port.
std::atomic<bool> portOpen {false};

ReaderSimulation beginCall(const QString &traceLine)
{
    const ReaderSimulation simulation = ReaderSimulation::load();
    simulation.trace(traceLine);
    if (simulation.delayMs() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(simulation.delayMs()));
    return simulation;
}

bool validPort(int port)
{
    return (port >= 1 && port <= 16) || (port >= 1001 && port <= 1016);
}

// Writes the card photo as "photo.bmp" into an existing, writable folder; like
// the maker's library it creates no folder and fails quietly.
void writePhoto(const ReaderSimulation &simulation, const QString &directory)
{
    const QImage photo = simulation.photo();
    if (photo.isNull() || directory.isEmpty())
        return;
    const QFileInfo folder(directory);
    if (!folder.isDir())
        return;
    photo.convertToFormat(QImage::Format_RGB888)
        .save(QDir(directory).filePath(QStringLiteral("photo.bmp")), "BMP");
}

} // namespace

extern "C" {

SDTAPI_EXPORT int SDTAPI_CALL InitComm(int port)
{
    const ReaderSimulation simulation = beginCall(QStringLiteral("InitComm %1").arg(port));
    const bool ok = simulation.readerPresent() && validPort(port);
    portOpen = ok;
    return ok ? 1 : 0;
}

SDTAPI_EXPORT int SDTAPI_CALL Authenticate(void)
{
    const ReaderSimulation simulation = beginCall(QStringLiteral("Authenticate"));
    if (!portOpen || !simulation.readerPresent())
        return 0;
    return simulation.card() == ReaderSimulation::Card::Absent ? 0 : 1;
}

SDTAPI_EXPORT int SDTAPI_CALL ReadBaseMsgPhoto(unsigned char *message, int *length, char *directory)
{
    const QString folder = directory ? QString::fromLocal8Bit(directory) : QString();
    const ReaderSimulation simulation = beginCall(QStringLiteral("ReadBaseMsgPhoto %1").arg(folder));
    if (!message || !length || !portOpen || !simulation.readerPresent()
        || simulation.card() != ReaderSimulation::Card::Present)
        return 0;
    const QByteArray text = simulation.message();
    std::memcpy(message, text.constData(), size_t(text.size()));
    *length = simulation.reportedLength(text.size());
    writePhoto(simulation, folder);
    return 1;
}

SDTAPI_EXPORT int SDTAPI_CALL CloseComm(void)
{
    beginCall(QStringLiteral("CloseComm"));
    return portOpen.exchange(false) ? 1 : 0;
}

} // extern "C"
