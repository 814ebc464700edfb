#!/usr/bin/env bash
# Runs two builds of the packers side by side over large generated streams
# (with noise, across the days the clocks change in zones with daylight
# saving, half-hour shifts included) and reports any difference in CDR lines,
# file paths, status lines and messages, or exit status.
#
# Usage: bench/diffrun.sh OLD_BUILD NEW_BUILD [LINES]     (default 200000)
#   e.g. git worktree add /tmp/ref <commit>; cmake -S /tmp/ref -B /tmp/ref/build
#        cmake --build /tmp/ref/build --target morva-sl1x11rx morva-sl1x
#        bench/diffrun.sh /tmp/ref/build build
# Needs libfaketime (Debian package faketime) to freeze the host clock.
set -u
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
lines=${3:-200000}
gensmdr=$new/gensmdr
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
[ -n "$faketime_lib" ] || { echo "needs libfaketime (package faketime)"; exit 2; }
[ -x "$gensmdr" ] || { echo "no $gensmdr: build the gensmdr target"; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Stream starts, in the local time of the zone that changes its clock then.
# The host clock stands a day after the start, so most calls pass the check.
cases=(
    "UTC 2026-12-01 00:00"
    "unset 2026-12-01 00:00"
    "Europe/Berlin 2026-03-28 22:00"
    "Europe/Berlin 2026-10-24 22:00"
    "America/St_Johns 2026-03-07 22:00"
    "America/St_Johns 2026-10-31 22:00"
    "Australia/Lord_Howe 2026-04-04 22:00"
    "Australia/Lord_Howe 2026-10-03 22:00"
    "Australia/Lord_Howe 1984-03-03 22:00"
)
# Option sets; the tree is made in every case too.
optsets=("-v" "" "-s" "-m -M" "-e 15 -l 002200 -h 002499" "-e 18 -l 002200 -h 002499")

# Runs one program: stdout, stderr and status into DIR, the tree in DIR/cdr.
runone() {
    local bin=$1 dir=$2 zone=$3 clock=$4 input=$5
    shift 5
    mkdir -p "$dir/cdr"
    local env=(env -i PATH=/usr/bin:/bin FAKETIME="$clock" FAKETIME_DONT_RESET=1)
    [ "$zone" != unset ] && env+=(TZ="$zone")
    "${env[@]}" bash -c 'LD_PRELOAD=$0 exec "$@"' "$faketime_lib" "$bin" -i "$input" "$@" \
        >"$dir/stdout" 2>"$dir/stderr"
    echo $? >"$dir/status"
    "${env[@]}" bash -c 'LD_PRELOAD=$0 exec "$@"' "$faketime_lib" "$bin" -i "$input" -o "$dir/cdr" "$@" \
        >/dev/null 2>"$dir/stderr.tree"
    echo $? >>"$dir/status"
}

runs=0 diffs=0
for layout in sl1x11rx sl1x; do
    seed=0
    for c in "${cases[@]}"; do
        read -r zone day time <<<"$c"
        seed=$((seed + 1))
        input=$tmp/in.smdr
        "$gensmdr" -z -s "$seed" -t "$day $time" "$layout" "$lines" >"$input"
        clock=$(date -u -d "$day $time UTC + 1 day" '+%Y-%m-%d %H:%M:%S')
        for opts in "${optsets[@]}"; do
            # shellcheck disable=SC2086
            runone "$old/morva-$layout" "$tmp/old" "$zone" "$clock" "$input" $opts
            # shellcheck disable=SC2086
            runone "$new/morva-$layout" "$tmp/new" "$zone" "$clock" "$input" $opts
            runs=$((runs + 1))
            if ! diff -r "$tmp/old" "$tmp/new" >"$tmp/diff" 2>&1; then
                diffs=$((diffs + 1))
                echo "DIFFERENT: morva-$layout $opts, TZ=$zone, stream from $day $time (seed $seed)"
                head -n 20 "$tmp/diff"
            fi
            rm -rf "$tmp/old" "$tmp/new"
        done
    done
done
echo "$runs comparisons of $lines lines each (stdout and tree): $diffs with differences"
[ $diffs = 0 ]
