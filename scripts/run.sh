#!/bin/sh
# Starts Tolvane from its build folder, as an installed copy runs.
set -eu
bin=$(cd "$1/bin" && pwd)
# Reader texts travel in the local 8-bit code page; without a locale it is ASCII.
[ -n "${LANG:-}${LC_ALL:-}" ] || export LANG=C.UTF-8
cd "$bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: running Tolvane on Qt's offscreen platform (no window, no tray icon)."
    export QT_QPA_PLATFORM=offscreen
fi
echo "Tolvane serves ws://127.0.0.1:10080 and ws://127.0.0.1:10081 (run log: $bin/log/RunLog.log); Ctrl+C ends it."
exec ./Tolvane
