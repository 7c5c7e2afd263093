#include "RunLog.h"

#include "ProgramDirectory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

QMutex logMutex;

namespace {

const char *typeWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "Debug:";
    case QtWarningMsg:
        return "Warning:";
    case QtCriticalMsg:
        return "Critical:";
    case QtFatalMsg:
        return "Fatal:";
    default:
        return "InFo:";
    }
}

// A message raised while a line is being written (by Qt itself, on this thread)
// would lock logMutex again; it is dropped instead.
thread_local bool insideHandler = false;

} // namespace

QString runLogPath()
{
    static const QString path = programDirectory() + QStringLiteral("/log/RunLog.log");
    return path;
}

QString formatRunLogLine(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ddd"));
    return QStringLiteral("Type:%1 Message:%2 File:%3  Line:%4  Function:%5  DateTime:%6")
        .arg(QLatin1String(typeWord(type)), msg, QString::fromUtf8(context.file),
            QString::number(context.line), QString::fromUtf8(context.function), now);
}

void writeRunLog(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (insideHandler)
        return;
    insideHandler = true;
    {
        QMutexLocker locker(&logMutex);
        const QString line = formatRunLogLine(type, context, msg);
        QFile file(runLogPath());
        if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
            // First start from another working directory: the program's own
            // "log" folder may not exist yet.
            QDir().mkpath(QFileInfo(file.fileName()).absolutePath());
            file.open(QIODevice::ReadWrite | QIODevice::Append);
        }
        if (file.isOpen()) {
            QTextStream out(&file);
            out << line << "\r\n";
            out.flush();
            file.close();
        }
    }
    insideHandler = false;
}

void createWorkingDirectories()
{
    const QString base = QDir::currentPath();
    for (const char *name : {"cardphoto", "log", "gatherPhoto", "facePhoto"}) {
        const QString path = base + QLatin1Char('/') + QLatin1String(name);
        if (!QDir(path).exists())
            QDir().mkpath(path);
    }
}
