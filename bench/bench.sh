#!/usr/bin/env bash
# Throughput of both programs on a long SMDR stream made of the samples, to
# stdout and into the hourly tree, and the system calls a record costs. The
# samples span many hours and repeat, so nearly every call changes the hourly
# file: the tree figures are a worst case (a real stream changes it hourly).
# Usage: bench/bench.sh [BUILD_DIR] [COPIES]     (defaults: build 5000)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
copies=${2:-5000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TZ=${TZ:-UTC}

for prog in sl1x11rx sl1x; do
    sample="$top/examples/$prog.smdr"
    big="$tmp/$prog.smdr"
    for ((i = 0; i < copies; i++)); do cat "$sample"; done >"$big"
    lines=$(wc -l <"$big")
    bin="$build/morva-$prog"

    t0=$(date +%s.%N)
    "$bin" -v -i "$big" >"$tmp/out" 2>/dev/null
    t1=$(date +%s.%N)
    mkdir "$tmp/cdr"
    "$bin" -v -i "$big" -o "$tmp/cdr" >/dev/null 2>&1
    t2=$(date +%s.%N)
    calls=$(wc -l <"$tmp/out")
    awk -v p="morva-$prog" -v n="$lines" -v c="$calls" -v a="$t0" -v b="$t1" -v d="$t2" 'BEGIN {
        printf "%s: %d lines, %d CDR lines\n", p, n, c
        printf "  stdout:   %.3f s, %.0f lines/s\n", b - a, n / (b - a)
        printf "  CDR tree: %.3f s, %.0f lines/s\n", d - b, n / (d - b) }'
    if command -v strace >/dev/null; then
        mkdir "$tmp/cdr2"
        strace -c -o "$tmp/st" "$bin" -v -i "$big" -o "$tmp/cdr2" >/dev/null 2>&1 || true
        total=$(awk '$NF == "total" { print $4 }' "$tmp/st")
        awk -v t="$total" -v n="$lines" 'BEGIN { printf "  system calls: %d in all, %.2f per line\n", t, t / n }'
    fi
    rm -rf "$tmp/cdr" "$tmp/cdr2"
done
