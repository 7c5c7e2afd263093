#include "ProgramDirectory.h"

#include <QFileInfo>

#include <windows.h>

QString programDirectory()
{
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, DWORD(sizeof buffer / sizeof buffer[0]));
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0])
        return QStringLiteral(".");
    return QFileInfo(QString::fromWCharArray(buffer, int(length))).absolutePath();
}
