#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks that it holds what an
# operator needs, tries the raw logs' rotation on a scratch tree (skipped,
# 77, without logrotate, once the rest has passed), and runs the installed
# programs on the sample cases.
# Usage: install_check.sh BUILD_DIR SOURCE_DIR
set -u
build=$1 src=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "cmake --install failed"; exit 1; }

fail=0
# The package's contents, as paths under the prefix.
while read -r path; do
    [ -e "$prefix/$path" ] || { echo "missing after install: $path"; fail=1; }
done <<'LIST'
sbin/morva-sl1x11rx
sbin/morva-sl1x
bin/morva-cdrload
bin/morva-check
bin/morva-report
share/man/man8/morva-sl1x11rx.8
share/man/man8/morva-sl1x.8
share/man/man5/morva-cdr.5
share/man/man1/morva-cdrload.1
share/man/man1/morva-check.1
share/morva/prometheus/morva.rules.yml
share/man/man1/morva-report.1
lib/systemd/system/morva-sl1x11rx@.service
lib/systemd/system/morva-sl1x@.service
lib/systemd/system/morva-sl1x11rx-tcp.socket
lib/systemd/system/morva-sl1x11rx-tcp@.service
lib/systemd/system/morva-sl1x-tcp.socket
lib/systemd/system/morva-sl1x-tcp@.service
lib/systemd/system/morva-cdrload@.service
lib/systemd/system/morva-cdrload@.timer
lib/systemd/system/morva-report@.service
lib/systemd/system/morva-report@.timer
share/doc/morva/README.md
share/doc/morva/operator.md
share/doc/morva/copyright
share/doc/morva/examples/sl1x11rx.smdr
share/doc/morva/examples/sl1x.smdr
share/doc/morva/examples/directory.csv
share/doc/morva/examples/tariff.csv
share/doc/morva/examples/trunks.csv
etc/default/morva
etc/default/morva-tcp-sl1x11rx
etc/default/morva-tcp-sl1x
etc/default/morva-report
etc/logrotate.d/morva
LIST

# The units start what was installed beside them.
for unit in "$prefix"/lib/systemd/system/*.service; do
    [ -f "$unit" ] || continue
    grep -E '^ExecStart=' "$unit" | grep -q "$prefix/" ||
        { echo "$(basename "$unit"): ExecStart does not point into the prefix"; fail=1; }
done

# The raw logs' rotation: logrotate reads the shipped file; aimed at a
# scratch tree, a forced run renames each live raw log (a serial line's
# through the dynamic user's link, a TCP connection's) to NAME-YESTERDAY,
# makes no new one, compresses only the log rotated before, and leaves an
# empty log and the rotated ones where they are (never rotated again).
skipped=
if command -v logrotate >/dev/null; then
    conf=$prefix/etc/logrotate.d/morva
    logrotate -d -s "$prefix/lr.state" "$conf" >"$prefix/lr.log" 2>&1 ||
        { cat "$prefix/lr.log"; echo "logrotate -d fails on the shipped file"; fail=1; }
    lr=$prefix/lr/var/lib
    tcp=$lr/morva/tcp-sl1x/raw
    mkdir -p "$lr/private/morva/ttyS0" "$tcp"
    ln -s ../private/morva/ttyS0 "$lr/morva/ttyS0"
    echo live >"$lr/private/morva/ttyS0/rawsmdr"
    echo older >"$lr/private/morva/ttyS0/rawsmdr-20260131"
    echo conn >"$tcp/20260615T120000Z-1-192.0.2.5:2300-192.0.2.10:49152.smdr"
    : >"$tcp/20260615T130000Z-2-192.0.2.5:2300-192.0.2.11:49153.smdr"
    # After the global settings of Debian's /etc/logrotate.conf, which the
    # file must override.
    { printf 'weekly\nrotate 4\ncreate\n'; sed "s|/var/lib/morva/|$lr/morva/|g" "$conf"; } >"$prefix/lr.conf"
    logrotate -f -s "$prefix/lr.state" "$prefix/lr.conf" >"$prefix/lr.log" 2>&1 ||
        { cat "$prefix/lr.log"; echo "logrotate fails"; fail=1; }
    day=$(date -d yesterday +%Y%m%d)
    (cd "$lr" && find . -type f | sort) >"$prefix/lr.files"
    sort >"$prefix/lr.expected" <<FILES
./morva/tcp-sl1x/raw/20260615T120000Z-1-192.0.2.5:2300-192.0.2.10:49152.smdr-$day
./morva/tcp-sl1x/raw/20260615T130000Z-2-192.0.2.5:2300-192.0.2.11:49153.smdr
./private/morva/ttyS0/rawsmdr-$day
./private/morva/ttyS0/rawsmdr-20260131.gz
FILES
    diff "$prefix/lr.expected" "$prefix/lr.files" >"$prefix/lr.diff" &&
        [ "$(cat "$lr/private/morva/ttyS0/rawsmdr-$day")" = live ] ||
        { echo "logrotate: files expected (<) and made (>):"; cat "$prefix/lr.diff"; fail=1; }
else
    echo "logrotate not installed: the rotation of the raw logs is not checked"
    skipped=1
fi

# The installed programs behave as the built ones on the sample cases.
for case in sample_rx_stdout sample_sl1x_stdout; do
    bash "$src/tests/run_case.sh" "$src/tests/e2e/$case" "$prefix/sbin" || fail=1
done
[ $fail = 0 ] || exit 1
[ -z "$skipped" ] || { echo "skipped: no logrotate (Debian package logrotate)"; exit 77; }
echo "install holds programs, loader, check, report, manual pages, units, settings, rotation, rules and docs"
exit 0
