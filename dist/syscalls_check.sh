#!/usr/bin/env bash
# Runs the programs the units start, unprivileged, under strace,
# through what a service does (start, input from a FIFO, the hourly tree,
# the raw log, the metrics file, the service manager's notify socket,
# SIGALRM, two SIGUSR1, SIGTERM with a held call, the end of the input; the
# loader on a new and an existing database, writing its
# metrics file; the report of last month through its unit's shell, with its
# CSV files), and checks that
# every system call made is one the units' filter lets through:
# @system-service less @privileged and @resources, and no socket but the
# packers' AF_UNIX one for the notify protocol (RestrictAddressFamilies=
# AF_UNIX for them, none for the rest). A call outside it kills the service.
# Skipped (77) without systemd-analyze or strace, or when ptrace is denied.
# Usage: syscalls_check.sh RX_PROGRAM SL1X_PROGRAM SAMPLES_DIR [LOADER REPORT]
set -u
rx=$1 sl1x=$2 samples=$3 loader=${4:-} report=${5:-}
for tool in systemd-analyze strace; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
strace -qq -o /dev/null true 2>/dev/null || { echo "skipped: strace cannot trace here"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 777 "$work"
# Copies, so that nobody can run and read them wherever the build is.
mkdir "$work/bin"
cp "$rx" "$sl1x" ${loader:+"$loader"} ${report:+"$report"} "$samples/sl1x11rx.smdr" "$samples/sl1x.smdr" "$work/bin/"
chmod -R a+rX "$work/bin"
rx=$work/bin/$(basename "$rx") sl1x=$work/bin/$(basename "$sl1x")
[ -n "$loader" ] && loader=$work/bin/$(basename "$loader")
[ -n "$report" ] && report=$work/bin/$(basename "$report")
samples=$work/bin

# A group's calls, its nested groups expanded.
expand() {
    systemd-analyze syscall-filter "$1" | tail -n +2 | sed 's/^ *//' | grep -v -e '^#' -e '^$' |
        while read -r name; do
            case $name in
            @*) expand "$name" ;;
            *) echo "$name" ;;
            esac
        done
}
expand @system-service | sort -u >"$work/allowed"
{ expand @privileged; expand @resources; printf '%s\n' socketpair; } | sort -u >"$work/denied"
comm -23 "$work/allowed" "$work/denied" >"$work/filter"

# Runs a program under strace, as nobody when we are root (the services
# never run as root), its trace in $work/trace.N.
cd "$work" || exit 1
mkdir -m 777 cdr
asuser=()
[ "$(id -u)" = 0 ] && asuser=(-u nobody)
n=0
traced() {
    n=$((n + 1))
    WORK=$work strace -f -qq "${asuser[@]}" -o "$work/trace.$n" "$@"
}

fail=0
# The serial unit's path: input from a file that blocks (a FIFO here, the
# line there), signals while waiting and while input flows.
mkfifo "$work/line"
# The notify socket need not be there: the calls are made all the same.
NOTIFY_SOCKET=$work/notify strace -f -qq "${asuser[@]}" -o "$work/trace.0" "$rx" -v \
    -i "$work/line" -o "$work/cdr" -R "$work/rawsmdr" --metrics "$work/morva-ttyS0.prom" 2>"$work/rx.err" &
tracer=$!
exec 3>"$work/line"
head -n 12 "$samples/sl1x11rx.smdr" >&3
sleep 0.5
pid=$(pgrep -P "$tracer")
[ -n "$pid" ] || { echo "morva-sl1x11rx did not start under strace"; exit 1; }
for sig in ALRM USR1 USR1; do
    kill -s "$sig" "$pid"
    sleep 0.3
done
tail -n +13 "$samples/sl1x11rx.smdr" >&3
sleep 0.5
kill -s TERM "$pid"
wait "$tracer"
exec 3>&-
grep -q 'my_exit: errcode = 0' "$work/rx.err" || { cat "$work/rx.err"; echo "morva-sl1x11rx did not end in order"; fail=1; }
[ -s "$work/rawsmdr" ] && [ -n "$(find "$work/cdr" -type f)" ] && [ -s "$work/morva-ttyS0.prom" ] ||
    { echo "morva-sl1x11rx wrote no tree, raw log or metrics file"; fail=1; }
grep -q 'socket(AF_UNIX' "$work/trace.0" || { echo "morva-sl1x11rx made no notify socket"; fail=1; }

# The TCP unit's path: standard input to its end, through the shell that
# names the connection's raw log and the date it takes the time from.
mkdir -m 777 "$work/raw"
traced /bin/sh -c 'conn=$1; shift; exec "$0" -o "$WORK/cdr" -R "$WORK/raw/$(date -u +%Y%m%dT%H%M%SZ)-$conn.smdr" "$@"' \
    "$sl1x" 1-192.0.2.5:2300-192.0.2.10:49152 -v <"$samples/sl1x.smdr" 2>/dev/null ||
    { echo "morva-sl1x failed"; fail=1; }
[ -s "$work"/raw/*.smdr ] || { echo "morva-sl1x wrote no raw log of its connection"; fail=1; }

if [ -n "$loader" ]; then
    for run in new existing; do
        traced "$loader" --metrics "$work/morva-cdrload-x.prom" "$work/cdr.sqlite" "$work/cdr" ||
            { echo "morva-cdrload failed on the $run database"; fail=1; }
    done
fi

if [ -n "$report" ]; then
    mkdir -m 777 "$work/reports"
    MORVA_DB= MORVA_SITE= traced /bin/sh -c 'month=$(date -d "$(date +%Y-%m-01) -1 month" +%Y-%m) && dir=$WORK/reports && mkdir -p "$dir/$month" && { [ -z "$MORVA_SITE" ] || set -- "$@" --site "$MORVA_SITE"; } && exec "$0" "$@" --from "$month-01" --csv "$dir/$month" -o "$dir/$month.html" "${MORVA_DB:-$WORK/cdr.sqlite}"' \
        "$report" --mask 2 || { echo "morva-report failed"; fail=1; }
    [ -n "$(find "$work/reports" -name '*.html' -size +1k)" ] || { echo "morva-report wrote no page"; fail=1; }
fi

# The calls made after each program's own execve.
for t in "$work"/trace.*; do
    sed -n '/ execve(/,$p' "$t" | sed -E -n 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p'
done | sort -u >"$work/used"
outside=$(comm -23 "$work/used" "$work/filter")
# Sockets: the packers' AF_UNIX one only (trace.0 and trace.1); none for the
# loader and the report.
for t in "$work"/trace.*; do
    case $t in
    */trace.[01]) bad=$(grep -E ' socket\(' "$t" | grep -v 'socket(AF_UNIX') ;;
    *) bad=$(grep -E ' socket\(' "$t") ;;
    esac
    [ -z "$bad" ] || { echo "a socket the units do not allow: $bad"; fail=1; }
done
if [ -n "$outside" ]; then
    echo "system calls outside the units' filter:" $outside
    fail=1
fi
echo "system calls made: $(wc -l <"$work/used")"
[ $fail = 0 ] && echo "every system call made is inside the units' filter"
exit $fail
