#!/usr/bin/env bash
# Makes the seed corpora fuzz/corpus/<target>/ from the sample streams in
# examples/: each sample behind a few prefixes of the three option bytes
# (options, host clock, program setting; see harness.cpp). Run it again after
# changing a sample or the option layout, and check the result in.
set -euo pipefail
cd "$(dirname "$0")"

# "options clock program" in hex, one seed each.
prefixes=(
    "04 00 00"   # -v, ordinary day, UTC, clock standing
    "00 00 00"   # time check on
    "00 40 00"   # time check, clock moving 7 s a record
    "14 08 00"   # tree, -v, Berlin
    "10 01 00"   # tree, 31 Dec 23:50
    "03 a2 00"   # -m -s, 1 Jan 00:05, half-hourly
    "2c 00 00"   # -M -v, excluding stations inside the range
    "5c 00 01"   # tree -M -v, excluding those outside
    "10 83 02"   # tree, end of 2099, every 5 minutes
    "14 c4 03"   # tree, first minutes of 2100, hourly
    "10 ad 04"   # tree, Berlin spring change
    "04 d7 05"   # Lord Howe's half-hour change
    "f0 7c 06"   # tree, St John's, every station excluded
    "04 20 07"   # -v, clock moving 1 s a record
)

for prog in sl1x11rx sl1x; do
    out=corpus/$prog
    rm -rf "$out"
    mkdir -p "$out"
    for p in "${prefixes[@]}"; do
        name=sample-${p// /-}
        { printf "$(printf '\\x%s' $p)"; cat "../examples/$prog.smdr"; } > "$out/$name"
    done
done
