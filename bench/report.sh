#!/usr/bin/env bash
# The report's speed and memory on a busy exchange: a month of 300,000
# calls and a year of 3.65 million, generated into databases of
# morva-cdrload by build/gencdr (weekday peaks, quiet weekends, numbers
# mostly from a pool, a year's far more than the top lists keep exactly),
# then reported with the shipped tariff and directory, the pulse price and
# every CSV file, taking the median of several runs. The peak memory is
# the largest resident size of a run (GNU time, Debian package time).
#
# Usage: bench/report.sh [BUILD_DIR] [RUNS]   (defaults: build 3)
# Build first with -DCMAKE_BUILD_TYPE=Release.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-3}
for prog in gencdr morva-report; do
    [ -x "$build/$prog" ] || { echo "no $build/$prog: build it first"; exit 1; }
done
[ -x /usr/bin/time ] || { echo "no /usr/bin/time (Debian package time)"; exit 1; }
# The databases go on the disk the build is on, not into a memory file system.
tmp=$(mktemp -d "$build/bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# Median seconds and largest peak (KiB) of the runs of a command.
measure() {
    local i
    for ((i = 0; i < runs; i++)); do
        /usr/bin/time -f '%e %M' -o "$tmp/time" "$@" >/dev/null 2>"$tmp/err" ||
            { cat "$tmp/err"; echo "failed: $*"; exit 1; }
        cat "$tmp/time"
    done | sort -n | awk '{ t[NR] = $1; if ($2 > m) m = $2 } END { printf "%s %d\n", t[int((NR + 1) / 2)], m }'
}

printf 'morva-report, median of %s runs; %s cores\n' "$runs" "$(nproc)"
mkdir "$tmp/csv"
while read -r name first days calls from to limit; do
    "$build/gencdr" -s 11 "$tmp/$name.sqlite" "$first" "$days" "$calls" 2>/dev/null
    read -r secs kib < <(measure "$build/morva-report" --from "$from" --to "$to" \
        --tariff "$top/examples/tariff.csv" --directory "$top/examples/directory.csv" \
        --pulse-price 0.06 --csv "$tmp/csv" -o "$tmp/report.html" "$tmp/$name.sqlite")
    awk -v n="$name" -v c="$calls" -v s="$secs" -v k="$kib" -v l="$limit" 'BEGIN {
        printf "  %-6s %9d calls  %6.2f s  %9.0f calls/s  peak %6.1f MiB  (aim: under %s s)\n",
            n, c, s, c / s, k / 1024, l }'
    rm -f "$tmp/$name.sqlite"*
done <<'RUNS'
month 2026-11-01 30 300000 2026-11-01 2026-12-01 2
year 2026-01-01 365 3650000 2026-01-01 2027-01-01 20
RUNS
