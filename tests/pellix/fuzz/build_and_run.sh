#!/bin/sh
# Builds the Pellix fuzz target with clang and the sanitizers in a folder of its own and runs
# it for a bounded time. Fails if it cannot be built or run, if it finds anything, or if it
# ran no inputs at all.
# Usage: build_and_run.sh <source root> <build folder> <seconds>
set -eu
if [ $# -ne 3 ]; then
    echo "usage: $0 <source root> <build folder> <seconds>" >&2
    exit 2
fi
root=$1
build=$2
seconds=$3
here=$(cd "$(dirname "$0")" && pwd)

for tool in cmake ninja clang clang++; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "FAIL: $tool is not installed (packages clang, libclang-rt-14-dev, cmake, ninja-build)" >&2
        exit 1
    fi
done

rm -f "$build/pellix_fuzz"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPELLIX_SOURCE_DIR="$root/pellix"
cmake --build "$build" --target pellix_fuzz -j 1

# A fresh corpus each run, seeded with a few records of each kind.
corpus="$build/corpus"
artifacts="$build/artifacts"
rm -rf "$corpus" "$artifacts"
mkdir -p "$corpus" "$artifacts"
printf '\000\0200123456789ABCDEF6F6F746ED5DC09B1' >"$corpus/decode"
printf '\001\0200123456789ABCDEF001051027AB539AB3BB99C14C47DD66D48F2' >"$corpus/decode2"
printf '\002\000616263' >"$corpus/asc2str"
printf '\003\0200123456789ABCDEFhello world' >"$corpus/encode"
printf '\004\004ABCDa longer text of several blocks' >"$corpus/encode2"

log="$build/fuzz.log"
status=0
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/pellix_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || status=$?
tail -n 25 "$log"

if [ "$status" -ne 0 ]; then
    echo "FAIL: the fuzzer stopped with status $status; inputs are in $artifacts" >&2
    exit 1
fi
if [ -n "$(ls -A "$artifacts")" ]; then
    echo "FAIL: the fuzzer left findings in $artifacts" >&2
    exit 1
fi
runs=$(sed -n 's/^Done \([0-9][0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
if [ -z "$runs" ] || [ "$runs" -eq 0 ]; then
    echo "FAIL: the fuzzer reported no completed runs" >&2
    exit 1
fi
echo "OK: $runs inputs in $seconds seconds, nothing found"
