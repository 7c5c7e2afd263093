#include "SdtApiLibrary.h"

#include "ProgramDirectory.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QStringList>

namespace {

const char libraryName[] = "SDTAPI";

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    // The bridge worker may create the reader before the application object exists.
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : programDirectory();
}

} // namespace

SdtApiLibrary::SdtApiLibrary(const QString &folder)
{
    usable = load(folder);
    if (usable)
        qInfo() << "Card reader library loaded:" << library.fileName();
    else
        qWarning() << "Card reader library unusable, every card read reports the reader absent:" << missing;
}

SdtApiLibrary::~SdtApiLibrary() = default;

SdtApiLibrary &SdtApiLibrary::instance()
{
    static SdtApiLibrary library(programFolder());
    return library;
}

void SdtApiLibrary::setProgramFolder(const QString &folder)
{
    programFolderOverride() = folder;
}

QString SdtApiLibrary::fileName() const
{
    return library.isLoaded() ? library.fileName() : QString();
}

bool SdtApiLibrary::load(const QString &folder)
{
    QStringList candidates;
    if (!folder.isEmpty())
        candidates << QDir(folder).filePath(QLatin1String(libraryName));
    candidates << QLatin1String(libraryName);

    QStringList errors;
    for (const QString &candidate : candidates) {
        library.setFileName(candidate);
        if (library.load())
            return resolveFunctions();
        errors << library.errorString();
    }
    missing = QStringLiteral("%1 not found (%2)")
                  .arg(QLatin1String(libraryName), errors.join(QStringLiteral("; ")));
    return false;
}

bool SdtApiLibrary::resolveFunctions()
{
    QStringList absent;
    auto resolve = [&](const char *name) {
        const QFunctionPointer function = library.resolve(name);
        if (!function)
            absent << QLatin1String(name);
        return function;
    };
    initCommFunction = reinterpret_cast<InitCommFunction>(resolve("InitComm"));
    authenticateFunction = reinterpret_cast<AuthenticateFunction>(resolve("Authenticate"));
    readBaseMsgPhotoFunction = reinterpret_cast<ReadBaseMsgPhotoFunction>(resolve("ReadBaseMsgPhoto"));
    closeCommFunction = reinterpret_cast<CloseCommFunction>(resolve("CloseComm"));
    if (absent.isEmpty())
        return true;

    missing = QStringLiteral("%1 lacks %2").arg(library.fileName(), absent.join(QStringLiteral(", ")));
    initCommFunction = nullptr;
    authenticateFunction = nullptr;
    readBaseMsgPhotoFunction = nullptr;
    closeCommFunction = nullptr;
    library.unload();
    return false;
}

int SdtApiLibrary::initComm(int port) const
{
    return usable ? initCommFunction(port) : 0;
}

int SdtApiLibrary::authenticate() const
{
    return usable ? authenticateFunction() : 0;
}

int SdtApiLibrary::readBaseMsgPhoto(unsigned char *message, int *length, char *directory) const
{
    return usable ? readBaseMsgPhotoFunction(message, length, directory) : 0;
}

int SdtApiLibrary::closeComm() const
{
    return usable ? closeCommFunction() : 0;
}
