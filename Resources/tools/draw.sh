#!/bin/sh
# Renders the window background, the action icons, the placeholder picture and
# the multi-size program icon into Resources/ (see draw_resources.cpp).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${TMPDIR:-/tmp}/tolvane-draw-resources
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/draw_resources" "$here/.."
