#include "ExitSignalWatcher.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler may only do async-signal-safe work: it writes one byte into
// a pipe, and the event loop reads it on the watcher's thread.
int wakePipe[2] = {-1, -1};
struct sigaction previousTerm;
struct sigaction previousInt;
bool installed = false;

void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending request.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

bool makePipe()
{
    if (::pipe(wakePipe) != 0)
        return false;
    for (int fd : wakePipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void closePipe()
{
    for (int &fd : wakePipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

void ExitSignalWatcher::install()
{
    if (installed) {
        qWarning() << "A second exit signal watcher is refused; the first one keeps the signals";
        return;
    }
    if (!makePipe()) {
        qWarning() << "No pipe for the exit signals:" << std::strerror(errno);
        return;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &previousTerm) != 0
        || ::sigaction(SIGINT, &action, &previousInt) != 0) {
        qWarning() << "Cannot watch SIGTERM and SIGINT:" << std::strerror(errno);
        ::sigaction(SIGTERM, &previousTerm, nullptr);
        closePipe();
        return;
    }
    installed = true;
    watching = true;

    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[64];
        while (::read(wakePipe[0], buffer, sizeof(buffer)) > 0) { }
        qInfo() << "Exit requested by a signal";
        emit exitRequested();
    });
}

void ExitSignalWatcher::uninstall()
{
    if (!watching)
        return;
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    // The notifier goes with this object; the pipe must outlive it.
    qDeleteAll(findChildren<QSocketNotifier *>());
    closePipe();
    installed = false;
    watching = false;
}
