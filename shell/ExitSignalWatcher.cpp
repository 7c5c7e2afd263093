#include "ExitSignalWatcher.h"

// install() and uninstall() are the platform's: ExitSignalWatcher_posix.cpp
// (SIGTERM, SIGINT) and ExitSignalWatcher_win.cpp (console close events).
ExitSignalWatcher::ExitSignalWatcher(QObject *parent)
    : QObject(parent)
{
    install();
}

ExitSignalWatcher::~ExitSignalWatcher()
{
    uninstall();
}
