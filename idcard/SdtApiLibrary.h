#ifndef TOLVANE_SDTAPILIBRARY_H
#define TOLVANE_SDTAPILIBRARY_H

#include "SdtApiCall.h"

#include <QLibrary>
#include <QString>

// The card reader maker's library "SDTAPI", loaded at run time by name: from the
// program's own folder first, then from the system's library search path. The four
// functions are resolved by name; without the library or any of them the reader
// counts as absent, and one log line at loading names what is missing.
class SdtApiLibrary
{
public:
    // Loads the library from `folder` first, then by name alone.
    explicit SdtApiLibrary(const QString &folder);
    ~SdtApiLibrary();

    SdtApiLibrary(const SdtApiLibrary &) = delete;
    SdtApiLibrary &operator=(const SdtApiLibrary &) = delete;

    // The one library of the process, loaded at the first call from the program's
    // folder (or the folder given to setProgramFolder).
    static SdtApiLibrary &instance();

    // For a process that is not the program (a test) but loads the program's
    // library: the folder that takes the place of its own. Only before instance().
    static void setProgramFolder(const QString &folder);

    // All four functions are there.
    bool isUsable() const { return usable; }
    // The file that was loaded, empty when none was.
    QString fileName() const;
    // What is missing, empty when the library is usable.
    QString problem() const { return missing; }

    // The library's functions; without a usable library each returns 0.
    int initComm(int port) const;
    int authenticate() const;
    int readBaseMsgPhoto(unsigned char *message, int *length, char *directory) const;
    int closeComm() const;

private:
    using InitCommFunction = int(SDTAPI_CALL *)(int);
    using AuthenticateFunction = int(SDTAPI_CALL *)();
    using ReadBaseMsgPhotoFunction = int(SDTAPI_CALL *)(unsigned char *, int *, char *);
    using CloseCommFunction = int(SDTAPI_CALL *)();

    bool load(const QString &folder);
    bool resolveFunctions();

    QLibrary library;
    InitCommFunction initCommFunction = nullptr;
    AuthenticateFunction authenticateFunction = nullptr;
    ReadBaseMsgPhotoFunction readBaseMsgPhotoFunction = nullptr;
    CloseCommFunction closeCommFunction = nullptr;
    bool usable = false;
    QString missing;
};

#endif
