#!/bin/sh
# Makes the README's pictures of Tolvane: the tray icon with its balloon right
# after the start, and the window with the ID card page after a tray click and
# a browser's card request (the reader stand-in's built-in card).
# Usage: docs/screenshot/make-screenshot.sh [build folder]   (default: build)
# Needs Xvfb, trayer, xdotool, xwininfo and python3 (scripts/packages.txt).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
docs=$(dirname "$here")
build=$(cd "${1:-$docs/../build}" && pwd)

# Port 10080 may be taken by a running copy or another test run: as root, the
# whole run goes into a network namespace of its own.
if [ -z "${TOLVANE_SCREENSHOT_NS:-}" ] && [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null 2>&1; then
    exec env TOLVANE_SCREENSHOT_NS=1 unshare -n sh -c "ip link set lo up && exec sh '$0' '$build'"
fi

work=$(mktemp -d)
cleanup() {
    for pid in ${program:-} ${panel:-} ${xserver:-}; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

cmake -S "$here" -B "$work/grab" -G Ninja >/dev/null
cmake --build "$work/grab" >/dev/null
grab() { "$work/grab/grabscreen" "$@" 2>/dev/null; }

mkdir -p "$work/bin" "$work/tmp"
cp "$build"/bin/* "$work/bin/" 2>/dev/null || true

Xvfb -displayfd 1 -screen 0 1040x470x24 -nolisten tcp >"$work/display" 2>/dev/null &
xserver=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
trayer --edge top --align right --widthtype request --height 28 --SetDockType true >/dev/null 2>&1 &
panel=$!
sleep 1

(cd "$work/bin" && TMPDIR="$work/tmp" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb exec ./Tolvane) &
program=$!

# The icon docked in the panel: a "Tolvane" window below the panel's own.
icon=""
for _ in $(seq 100); do
    icon=$(xwininfo -root -tree | grep -E '^ {8,}0x[0-9a-f]+ "Tolvane": \("Tolvane"' | head -n 1 || true)
    [ -n "$icon" ] && break
    sleep 0.1
done
[ -n "$icon" ] || { echo "the tray icon did not appear" >&2; exit 1; }
x=$(echo "$icon" | sed -E 's/.* \+([0-9]+)\+([0-9]+)$/\1/')
y=$(echo "$icon" | sed -E 's/.* \+([0-9]+)\+([0-9]+)$/\2/')
sleep 1.5
grab "$docs/tolvane-tray.png" "$((x - 200)),0,240,110"

xdotool mousemove "$((x + 11))" "$((y + 13))" click 1
sleep 1
python3 - <<'PY'
import base64, os, socket
s = socket.create_connection(("127.0.0.1", 10080), timeout=10)
key = base64.b64encode(os.urandom(16)).decode()
s.sendall(("GET / HTTP/1.1\r\nHost: 127.0.0.1:10080\r\nUpgrade: websocket\r\n"
           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n" % key).encode())
head = b""
while b"\r\n\r\n" not in head:
    head += s.recv(1)
text, mask = b"ID_CARD_RED", os.urandom(4)
s.sendall(bytes([0x81, 0x80 | len(text)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(text)))
def take(n):
    data = b""
    while len(data) < n:
        data += s.recv(n - len(data))
    return data
length = take(2)[1] & 0x7F
length = int.from_bytes(take(2 if length == 126 else 8), "big") if length >= 126 else length
print("card reply:", take(length)[:60].decode("utf-8", "replace"), "...")
PY
sleep 1
window=$(xwininfo -root -tree | grep -F '"身份证人脸信息采集程序"' | awk '{print $1}' | head -n 1)
grab "$docs/tolvane-window.png" "$window"
echo "wrote $docs/tolvane-tray.png and $docs/tolvane-window.png"
