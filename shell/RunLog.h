#ifndef TOLVANE_RUNLOG_H
#define TOLVANE_RUNLOG_H

#include <QMutex>
#include <QString>
#include <QtGlobal>

// Serialises every write to the run log, from every thread.
extern QMutex logMutex;

// Qt message handler: one line per message in "<program folder>/log/RunLog.log".
void writeRunLog(QtMsgType type, const QMessageLogContext &context, const QString &msg);

// Creates "cardphoto", "log", "gatherPhoto" and "facePhoto" below the current directory.
void createWorkingDirectories();

// The run log's full path; the folder of the running executable, also before the
// application object exists.
QString runLogPath();

// One formatted run log line, without its "\r\n".
QString formatRunLogLine(QtMsgType type, const QMessageLogContext &context, const QString &msg);

namespace RunLogDetail {
constexpr const char *baseName(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}
} // namespace RunLogDetail

// The first two items of a manager's log statement: source file name and line.
#define TOLVANE_SOURCE RunLogDetail::baseName(__FILE__) << __LINE__

#endif
