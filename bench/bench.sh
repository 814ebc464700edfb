#!/usr/bin/env bash
# Replay throughput of both programs on a realistic generated SMDR stream
# (calls in the order they end, the hour changing every few thousand lines,
# meter and charge lines among them): to stdout and into the hourly tree on
# the local disk, with TZ set and unset. Beside them, measured in the same
# run: an awk field-cutter that prints a CDR-shaped line per call line from
# fixed columns, and the floor, a plain copy of the file with read(2) and
# write(2) in 64 KiB blocks. Each figure is the median of several runs.
#
# Usage: bench/bench.sh [BUILD_DIR] [LINES] [RUNS]   (defaults: build 1000000 5)
# Build first with -DCMAKE_BUILD_TYPE=Release. Peak memory needs GNU time
# (Debian package time).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
lines=${2:-1000000}
runs=${3:-5}
# The trees go on the disk the build is on, not into a memory file system.
tmp=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Seconds a command takes, median of the runs. PREP runs before each run.
median() {
    local prep=$1
    shift
    local i t0 t1
    for ((i = 0; i < runs; i++)); do
        eval "$prep"
        t0=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s.%N)
        echo "$t1 - $t0" | bc -l
    done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

peakkb() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
    else
        echo "n/a"
    fi
}

# Fixed columns of a call line: the two parties, the date and time, the
# duration and the dialled digits, for each layout.
awkprog() {
    case $1 in
    sl1x11rx) echo '/^[NSELX] / { print ":" substr($0,10,6) "|" substr($0,18,6) "|" substr($0,59) "|" substr($0,38,5) substr($0,44,5) "|" substr($0,50,8) "|||01" }' ;;
    sl1x) echo '/^[NSELX] / { print ":" substr($0,10,6) "|" substr($0,18,6) "|" substr($0,48) "|" substr($0,26,5) substr($0,32,5) "|" substr($0,38,8) "|||01" }' ;;
    esac
}

row() {   # name seconds awk-seconds floor-seconds
    awk -v n="$1" -v s="$2" -v a="$3" -v f="$4" -v l="$lines" 'BEGIN {
        printf "  %-24s %8.3f s %12.0f lines/s %7.2fx awk %7.2fx floor\n", n, s, l / s, a / s, f / s }'
}

printf "%s lines a stream, median of %s runs; %s\n" "$lines" "$runs" "$(nproc) cores"
for prog in sl1x11rx sl1x; do
    bin=$build/morva-$prog
    in=$tmp/$prog.smdr
    "$build/gensmdr" -s 7 "$prog" "$lines" >"$in"
    calls=$(TZ=UTC "$bin" -v -i "$in" 2>/dev/null | wc -l)

    floor=$(median : dd if="$in" of=/dev/null bs=64K)
    awks=$(median : awk "$(awkprog $prog)" "$in")
    echo "morva-$prog: $(wc -c <"$in") bytes, $calls CDR lines"
    row "floor (64 KiB copy)" "$floor" "$awks" "$floor"
    row "awk field-cutter" "$awks" "$awks" "$floor"
    row "stdout, TZ=UTC" "$(median : env TZ=UTC "$bin" -v -i "$in")" "$awks" "$floor"
    row "stdout, TZ unset" "$(median : env -u TZ "$bin" -v -i "$in")" "$awks" "$floor"
    mkdir "$tmp/cdr"
    row "tree, TZ=UTC" "$(median 'rm -rf "$tmp/cdr"/*' env TZ=UTC "$bin" -v -i "$in" -o "$tmp/cdr")" "$awks" "$floor"
    row "tree, TZ unset" "$(median 'rm -rf "$tmp/cdr"/*' env -u TZ "$bin" -v -i "$in" -o "$tmp/cdr")" "$awks" "$floor"
    rm -rf "$tmp/cdr"/*
    echo "  peak memory: stdout $(peakkb env TZ=UTC "$bin" -v -i "$in") KB, tree $(peakkb env TZ=UTC "$bin" -v -i "$in" -o "$tmp/cdr") KB"
    rm -rf "$tmp/cdr" "$in"
done
