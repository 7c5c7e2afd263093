#!/bin/sh
# Cross-builds Pellix.dll for Windows with MinGW-w64 in a build folder of its own and checks
# the result: exactly the six undecorated exports, only system DLLs imported, and the
# version resource. Any step that cannot run fails the check.
# Usage: build_and_check.sh <triplet> <source root> <build folder> <python3>
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 <triplet> <source root> <build folder> <python3>" >&2
    exit 2
fi
triplet=$1
root=$2
build=$3
python=$4
here=$(cd "$(dirname "$0")" && pwd)

case "$triplet" in
    i686-w64-mingw32) machine=i386 ;;
    x86_64-w64-mingw32) machine=amd64 ;;
    *) echo "FAIL: unknown triplet $triplet" >&2; exit 1 ;;
esac
for tool in cmake ninja "$triplet-gcc" "$triplet-g++" "$triplet-windres" "$python"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is not installed (packages mingw-w64, cmake, ninja-build, python3)" >&2
        exit 1
    fi
done

# A stale DLL must never pass for a fresh one.
rm -f "$build/bin/Pellix.dll" "$build/bin/PellixCaller.exe"
cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/toolchain-$triplet.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DPELLIX_SOURCE_DIR="$root/pellix"
cmake --build "$build" -j 1

"$python" "$here/pe_check.py" --machine "$machine" --dll "$build/bin/Pellix.dll" \
    --caller "$build/bin/PellixCaller.exe"
