#include "ProgramDirectory.h"

#include <QFileInfo>

#include <climits>
#include <unistd.h>

QString programDirectory()
{
    char buffer[PATH_MAX + 1];
    const ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0)
        return QStringLiteral(".");
    return QFileInfo(QString::fromLocal8Bit(buffer, int(length))).absolutePath();
}
