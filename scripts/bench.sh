#!/bin/sh
# Runs every benchmark under bench/ and prints its figures.
set -eu
for b in "$1"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
