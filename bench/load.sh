#!/usr/bin/env bash
# The loader's speed and the size of what it stores: a generated SMDR
# stream of LINES lines (about 867,000 calls in a million lines: meter and
# charge lines are among them) through the packer into an hourly tree,
# then morva-cdrload on the whole tree into a new database, RUNS times:
# into SQLite (the median rows/s; the bytes a row of the database file as
# loaded, and after VACUUM) and into PostgreSQL (a scratch server of
# Debian's packages started here, fsync on, on the disk the build is on;
# the median rows/s and the bytes a row of the tables and their indexes).
# The fastest run is shown beside the median: on a machine shared with
# other work it is the one least slowed by it.
# Without a server installed the PostgreSQL half is left out.
#
# Usage: bench/load.sh [BUILD_DIR] [LINES] [RUNS]   (defaults: build 1000000 3)
# Build first with -DCMAKE_BUILD_TYPE=Release.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
lines=${2:-1000000}
runs=${3:-3}
for prog in gensmdr morva-sl1x11rx morva-cdrload; do
    [ -x "$build/$prog" ] || { echo "no $build/$prog: build it first"; exit 1; }
done
# On the disk the build is on, not in a memory file system.
tmp=$(mktemp -d "$build/bench.XXXXXX")
. "$top/tests/pgserver.sh"
trap 'pg_stop; rm -rf "$tmp"' EXIT

mkdir "$tmp/cdr"
"$build/gensmdr" -s 7 -t '2026-11-01 00:00' sl1x11rx "$lines" |
    "$build/morva-sl1x11rx" -v -o "$tmp/cdr" 2>/dev/null
files=$(find "$tmp/cdr" -type f | wc -l)

# Runs the loader on the tree into DATABASE; prints the seconds it took.
load() {
    local t0 t1
    t0=$(date +%s.%N)
    "$build/morva-cdrload" --site bench "$1" "$tmp/cdr" >/dev/null 2>"$tmp/err" ||
        "$build/morva-cdrload" "$1" "$tmp/cdr" >/dev/null 2>"$tmp/err" ||
        { cat "$tmp/err" >&2; return 1; }
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}
# The median and the fastest of the runs' seconds: the fastest is the one
# least slowed by whatever else the machine was doing.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[1] }'; }

printf 'morva-cdrload, %s SMDR lines in %s hourly files, median of %s runs; %s cores\n' \
    "$lines" "$files" "$runs" "$(nproc)"

db=$tmp/cdr.sqlite
read -r secs best < <(for ((i = 0; i < runs; i++)); do
    rm -f "$db" "$db-wal" "$db-shm"
    load "$db"
done | median)
rows=$(sqlite3 "$db" 'SELECT count(*) FROM cdr')
loaded=$(stat -c %s "$db")
sqlite3 "$db" VACUUM
vacuumed=$(stat -c %s "$db")
awk -v r="$rows" -v s="$secs" -v f="$best" -v a="$loaded" -v b="$vacuumed" 'BEGIN {
    printf "  SQLite      %7d rows  %6.2f s  %8.0f rows/s (fastest %8.0f)  %6.1f MB: %5.1f bytes a row as loaded, %5.1f after VACUUM\n",
        r, s, r / s, r / f, a / 1e6, a / r, b / r }'

if pg_start "$tmp"; then
    conn="host=$PGHOST user=morva dbname=cdr"
    read -r secs best < <(for ((i = 0; i < runs; i++)); do
        pg_sql -c 'DROP DATABASE IF EXISTS cdr' -c 'CREATE DATABASE cdr'
        load "$conn" || echo "n/a"
    done | median)
    if [ "$secs" = n/a ]; then
        echo "  PostgreSQL  not loaded by this build"
    else
        read -r rows bytes < <(pg_sql -d cdr -F ' ' -c "SELECT (SELECT count(*) FROM cdr_call),
            pg_total_relation_size('cdr_call') + pg_total_relation_size('cdr_file')")
        awk -v r="$rows" -v s="$secs" -v f="$best" -v b="$bytes" 'BEGIN {
            printf "  PostgreSQL  %7d rows  %6.2f s  %8.0f rows/s (fastest %8.0f)  %6.1f MB: %5.1f bytes a row, tables and indexes\n",
                r, s, r / s, r / f, b / 1e6, b / r }'
    fi
else
    echo "  PostgreSQL  no server installed (Debian package postgresql)"
fi
