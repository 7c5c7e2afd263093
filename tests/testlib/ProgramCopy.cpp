#include "ProgramCopy.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

ProgramCopy::ProgramCopy()
{
    if (!dir.isValid())
        return;
    QDir().mkpath(binDir());
    QDir().mkpath(tmpDir());
    // Only the files of bin/: a developer's run leaves log/ and photo folders there.
    const QDir source(QStringLiteral(TOLVANE_BIN_DIR));
    valid = true;
    for (const QFileInfo &info : source.entryInfoList(QDir::Files)) {
        const QString target = binDir() + QLatin1Char('/') + info.fileName();
        if (!QFile::copy(info.absoluteFilePath(), target)) {
            valid = false;
            continue;
        }
        QFile::setPermissions(target, info.permissions());
    }
}

ProgramCopy::~ProgramCopy()
{
    stop();
}

QString ProgramCopy::programPath() const
{
#ifdef Q_OS_WIN
    return binDir() + QStringLiteral("/Tolvane.exe");
#else
    return binDir() + QStringLiteral("/Tolvane");
#endif
}

bool ProgramCopy::removeFromBin(const QString &fileName)
{
    return QFile::remove(binDir() + QLatin1Char('/') + fileName);
}

QProcessEnvironment ProgramCopy::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmpDir());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("SDTAPI_SIM"));
    return env;
}

QProcess *ProgramCopy::start(
    const QString &workDir, const QStringList &arguments, const QProcessEnvironment &env)
{
    stop();
    logSizeAtStart = runLog().size();
    proc.reset(new QProcess);
    proc->setProcessEnvironment(env.isEmpty() ? environment() : env);
    proc->setWorkingDirectory(workDir.isEmpty() ? binDir() : workDir);
    proc->setProcessChannelMode(QProcess::ForwardedChannels);
    proc->start(programPath(), arguments);
    proc->waitForStarted(5000);
    return proc.data();
}

bool ProgramCopy::waitForPort(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (probe.waitForConnected(500))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool ProgramCopy::waitUntilServing(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!proc || proc->state() != QProcess::Running)
            return false;
        const QString log = runLog().mid(logSizeAtStart);
        if (log.contains(QStringLiteral("WebSocketServer start success"))
            && log.contains(QStringLiteral("port is : 10080")))
            return waitForPort(10080, int(qMax<qint64>(deadline.remainingTime(), 1000)));
        QThread::msleep(50);
    }
    return false;
}

QString ProgramCopy::runLog() const
{
    QFile file(binDir() + QStringLiteral("/log/RunLog.log"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll());
}

int ProgramCopy::stop(int timeoutMs)
{
    if (!proc || proc->state() == QProcess::NotRunning)
        return proc ? proc->exitCode() : -1;
    proc->terminate();
    if (!proc->waitForFinished(timeoutMs)) {
        proc->kill();
        proc->waitForFinished(timeoutMs);
        return -1;
    }
    return proc->exitStatus() == QProcess::NormalExit ? proc->exitCode() : -1;
}
