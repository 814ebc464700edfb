#!/usr/bin/env bash
# Runs one end-to-end case against the real programs and compares stdout,
# stderr, the exit status and the files left behind, byte for byte.
#
# A case is a folder:
#   cmd        the command line: program name and arguments (word-split)
#   in/        files copied into the empty working folder before the run
#   stdin      fed to the program's standard input (default: /dev/null)
#   env        extra environment, one NAME=VALUE a line
#   preload    libraries built beside the programs to preload too, one a line
#   realclock  present: no libfaketime (it holds descriptors of its own from
#              before main, which a case about descriptors cannot have)
#   script     optional bash driving a run by hand (signals, pipes); it may
#              use run, or start, feed, wait_for, wait_file, send,
#              close_input, finish, set_clock, and set stdout_to to send the
#              program's stdout to another file (such as /dev/full); the
#              compared stdout then holds only what the script itself appends
#              to "$tmp/stdout"; mklaunch then "${launch[@]}" starts the
#              program with other redirections; skip REASON ends a case that
#              this host cannot run with status 77, which ctest reports as
#              skipped
#   expected/stdout, expected/stderr, expected/status
#   out/       files expected in the working folder after the run, on top of
#              in/; the folder must then hold exactly in/ + out/
# The host clock is frozen at 2026-12-07 10:00:00 (TZ=UTC unless env says
# otherwise) by libfaketime preloaded into the program itself, and only
# there: a preloaded shell that execs the program would leave the library's
# shared-memory files behind in /dev/shm. set_clock moves the frozen clock.
#
# Usage: run_case.sh CASEDIR BINDIR     (UPDATE=1 rewrites the expectations)
set -u
case_dir=$(cd "$1" && pwd)
bin_dir=$(cd "$2" && pwd)
name=$(basename "$case_dir")

faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1)
if [ -z "$faketime_lib" ]; then
    echo "$name: libfaketime not found (Debian package faketime)" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
work="$tmp/work"
mkdir "$work"
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$work/"

# libfaketime reads the frozen instant from this file at every look.
set_clock() { printf '%s\n' "$1" >"$tmp/clock"; }
set_clock "2026-12-07 10:00:00"

preload=$faketime_lib
[ -f "$case_dir/realclock" ] && preload=
if [ -f "$case_dir/preload" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        [ -n "$line" ] && preload="${preload:+$preload:}$bin_dir/$line"
    done <"$case_dir/preload"
fi
run_env=(env -i PATH=/usr/bin:/bin TZ=UTC
    FAKETIME_TIMESTAMP_FILE="$tmp/clock" FAKETIME_NO_CACHE=1 FAKETIME_DONT_RESET=1
    ASAN_OPTIONS=verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1)
if [ -f "$case_dir/env" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        [ -n "$line" ] && run_env+=("$line")
    done <"$case_dir/env"
fi

read -r -a words <"$case_dir/cmd"
prog=${words[0]}
args=("${words[@]:1}")
stdin_file=/dev/null
[ -f "$case_dir/stdin" ] && stdin_file="$case_dir/stdin"
# Sets launch to the program under its own name, with run_env and args as
# they stand now, the preload applied at the exec only.
mklaunch() {
    # shellcheck disable=SC2016
    launch=("${run_env[@]}" bash -c 'LD_PRELOAD=$0 exec -a "$1" "${@:2}"' "$preload"
        "$prog" "$bin_dir/$prog" "${args[@]}")
}

status=
pid=
fifo="$tmp/fifo"
# A program that ended early must show in the comparison, not end this
# script with SIGPIPE at the next feed.
trap '' PIPE
stdout_to="$tmp/stdout"
: >"$tmp/stdout"

# Starts the program in the background reading from a FIFO the script feeds.
start() {
    mkfifo "$fifo"
    mklaunch
    (cd "$work" && exec "${launch[@]}" <"$fifo" >"$stdout_to" 2>"$tmp/stderr") &
    pid=$!
    exec 7>"$fifo"
}
feed() { printf '%b' "$1" >&7; }
close_input() { exec 7>&-; }
# Waits until stderr has shown TEXT N times (default once), up to 10 seconds.
wait_for() {
    local text=$1 count=${2:-1} i
    for ((i = 0; i < 1000; i++)); do
        [ "$(grep -cF -- "$text" "$tmp/stderr" 2>/dev/null)" -ge "$count" ] && return 0
        sleep 0.01
    done
    echo "$name: timed out waiting for [$text] x$count" >&2
    return 1
}
# Waits until the file NAME in the working folder holds TEXT, up to 10 seconds.
wait_file() {
    local i
    for ((i = 0; i < 1000; i++)); do
        grep -qF -- "$2" "$work/$1" 2>/dev/null && return 0
        sleep 0.01
    done
    echo "$name: timed out waiting for [$2] in $1" >&2
    return 1
}
send() { kill -s "$1" "$pid"; }
finish() {
    local i
    for ((i = 0; i < 1000; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "$name: program did not end" >&2
        kill -9 "$pid"
    fi
    wait "$pid"
    status=$?
    exec 7>&- 2>/dev/null
}

# Ends the case as skipped when the host lacks what it needs.
skip() {
    echo "$name: skipped: $*"
    exit 77
}

# Runs the program to its end with the case's stdin.
run() {
    mklaunch
    (cd "$work" && exec "${launch[@]}" <"$stdin_file" >"$stdout_to" 2>"$tmp/stderr")
    status=$?
}

if [ -f "$case_dir/script" ]; then
    # shellcheck source=/dev/null
    . "$case_dir/script"
    [ -n "$status" ] || finish
else
    run
fi
echo "$status" >"$tmp/status"

# The expected tree: in/ with out/ laid over it.
mkdir "$tmp/tree"
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$tmp/tree/"
[ -d "$case_dir/out" ] && cp -a "$case_dir/out/." "$tmp/tree/"

if [ "${UPDATE:-}" = 1 ]; then
    mkdir -p "$case_dir/expected"
    cp "$tmp/stdout" "$tmp/stderr" "$tmp/status" "$case_dir/expected/"
    rm -rf "$case_dir/out"
    mkdir "$tmp/new"
    cp -a "$work/." "$tmp/new/"
    if [ -d "$case_dir/in" ]; then
        (cd "$case_dir/in" && find . -type f) | while read -r f; do
            cmp -s "$case_dir/in/$f" "$tmp/new/$f" && rm -f "$tmp/new/$f"
        done
        find "$tmp/new" -mindepth 1 -type d -empty -delete
    fi
    [ -n "$(ls -A "$tmp/new")" ] && cp -a "$tmp/new" "$case_dir/out"
    echo "$name: expectations written"
    exit 0
fi

fail=0
for f in status stdout stderr; do
    if ! cmp -s "$case_dir/expected/$f" "$tmp/$f"; then
        echo "--- $name: $f differs (expected vs actual)"
        diff -a "$case_dir/expected/$f" "$tmp/$f" | head -n 40
        fail=1
    fi
done
if ! diff -r "$tmp/tree" "$work" >"$tmp/treediff" 2>&1; then
    echo "--- $name: files differ (expected vs actual)"
    head -n 40 "$tmp/treediff"
    fail=1
fi
[ $fail = 0 ] && echo "$name: ok"
exit $fail
