# Shared by the stress cases (sourced): arguments, the scratch folder, the
# frozen host clock, starting a program under it, and running jobs two at a
# time.
#
# A case is run as: CASE.sh PROGRAM GENSMDR STRESSCHECK LAYOUT LINES SEED
# MORVA_STRESS_LINES and MORVA_STRESS_SEED in the environment override the
# last two, for a quick or a different run by hand.
set -u

prog=$1
gensmdr=$2
check=$3
layout=$4
lines=${MORVA_STRESS_LINES:-$5}
seed=${MORVA_STRESS_SEED:-$6}
name="stress.$layout.$(basename "$0" .sh)"

# Exit status CTest reads as "skipped" (SKIP_RETURN_CODE in CMakeLists.txt).
skip() {
    echo "$name: skipped: $*"
    exit 77
}

fail() {
    echo "$name: FAILED: $*" >&2
    exit 1
}

faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
[ -n "$faketime_lib" ] || skip "libfaketime not found (Debian package faketime)"
[ -r /proc/self/fdinfo/0 ] || skip "no /proc to watch the programs with"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/morvastress.XXXXXX") || fail "no scratch folder"
started=()   # background processes of this shell, ended by id on the way out
cleanup() {
    local p
    for p in "${started[@]}"; do
        kill "$p" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The environment of every run: the zone, the host clock frozen at the day
# the generated calls fall into, and libfaketime preloaded by env into the
# program's own exec, never into a shell (it would leave files in /dev/shm).
runenv=(env -i PATH=/usr/bin:/bin TZ=UTC FAKETIME="2026-12-07 10:00:00"
    ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1
    LD_PRELOAD="$faketime_lib")

# Fails when libfaketime left its shared memory behind for this process.
noshm() {
    [ -e "/dev/shm/faketime_shm_$1" ] && fail "run $1 left /dev/shm/faketime_shm_$1"
    return 0
}

# Writes the generated stream to $1 and its counts to $1.counts.
generate() {
    "$gensmdr" -S -z -s "$seed" "$layout" "$2" >"$1" 2>"$1.counts" || fail "gensmdr failed"
}

# The value after WORD in a line of "word value" pairs.
valueof() { awk -v w="$1" '{ for (i = 1; i < NF; i++) if ($i == w) { print $(i + 1); exit } }' "$2"; }

# Runs `job ARG` for each ARG, two at a time (the machine has two cores).
# Each job leaves its verdict in $tmp/verdict.ARG: "ok ..." or the failure.
inlanes() {
    local a n=0
    for a in "$@"; do
        job "$a" &
        n=$((n + 1))
        if [ $n -ge 2 ]; then
            wait -n
            n=$((n - 1))
        fi
    done
    wait
    for a in "$@"; do
        [ -f "$tmp/verdict.$a" ] || fail "job $a gave no verdict"
        case $(head -n 1 "$tmp/verdict.$a") in
        ok*) ;;
        *) cat "$tmp/verdict.$a" >&2; fail "job $a" ;;
        esac
    done
}

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
