#ifndef TOLVANE_TEST_PROGRAMCOPY_H
#define TOLVANE_TEST_PROGRAMCOPY_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QScopedPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private copy of the build's bin/ folder in a temporary folder, so that a
// test's program has its own Setup.ini, run log and single-instance socket
// (TMPDIR points into the copy), and never meets a developer's `make run`.
// Tests that start it take the CTest RESOURCE_LOCK "port10080".
class ProgramCopy
{
public:
    ProgramCopy();
    ~ProgramCopy();

    bool isValid() const { return valid; }
    QString root() const { return dir.path(); }
    QString binDir() const { return dir.path() + QStringLiteral("/bin"); }
    QString tmpDir() const { return dir.path() + QStringLiteral("/tmp"); }
    QString programPath() const;

    // Removes a file of the copied bin folder (a library, for example).
    bool removeFromBin(const QString &fileName);

    // TMPDIR, offscreen platform and nothing of the developer's own session.
    QProcessEnvironment environment() const;

    // Starts the copied program; workDir defaults to the copy's bin folder.
    QProcess *start(const QString &workDir = QString(), const QStringList &arguments = QStringList(),
        const QProcessEnvironment &env = QProcessEnvironment());
    QProcess *process() const { return proc.data(); }

    // True once something accepts TCP connections on 127.0.0.1:port.
    static bool waitForPort(quint16 port, int timeoutMs = 10000);

    // True once the program started last has logged that it listens on 10080
    // and the port accepts connections: a port alone may belong to another
    // program on this machine.
    bool waitUntilServing(int timeoutMs = 15000);

    // The copy's run log ("bin/log/RunLog.log"), empty when there is none.
    QString runLog() const;

    // Ends the program (SIGTERM, then kill) and returns its exit code.
    int stop(int timeoutMs = 5000);

private:
    QTemporaryDir dir;
    bool valid = false;
    QScopedPointer<QProcess> proc;
    int logSizeAtStart = 0;
};

#endif
