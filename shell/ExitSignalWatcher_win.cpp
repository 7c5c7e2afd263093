#include "ExitSignalWatcher.h"

#include <QDebug>
#include <QMetaObject>

#include <atomic>
#include <windows.h>

namespace {

std::atomic<ExitSignalWatcher *> current {nullptr};

// Runs on a thread of its own that the system starts for the console event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (ExitSignalWatcher *watcher = current.load()) {
            QMetaObject::invokeMethod(watcher, "exitRequested", Qt::QueuedConnection);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void ExitSignalWatcher::install()
{
    ExitSignalWatcher *expected = nullptr;
    if (!current.compare_exchange_strong(expected, this)) {
        qWarning() << "A second exit signal watcher is refused; the first one keeps the console events";
        return;
    }
    if (!SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        qWarning() << "Cannot watch the console events, error" << GetLastError();
        current.store(nullptr);
        return;
    }
    watching = true;
}

void ExitSignalWatcher::uninstall()
{
    if (!watching)
        return;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    current.store(nullptr);
    watching = false;
}
