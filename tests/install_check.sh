#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks that it holds what an
# operator needs, and runs the installed programs on the sample cases.
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
share/man/man8/morva-sl1x11rx.8
share/man/man8/morva-sl1x.8
share/man/man5/morva-cdr.5
share/man/man1/morva-cdrload.1
lib/systemd/system/morva-sl1x11rx@.service
lib/systemd/system/morva-sl1x@.service
lib/systemd/system/morva-sl1x11rx-tcp.socket
lib/systemd/system/morva-sl1x11rx-tcp@.service
lib/systemd/system/morva-sl1x-tcp.socket
lib/systemd/system/morva-sl1x-tcp@.service
lib/systemd/system/morva-cdrload@.service
lib/systemd/system/morva-cdrload@.timer
share/doc/morva/README.md
share/doc/morva/operator.md
share/doc/morva/copyright
share/doc/morva/examples/sl1x11rx.smdr
share/doc/morva/examples/sl1x.smdr
etc/default/morva
etc/default/morva-tcp-sl1x11rx
etc/default/morva-tcp-sl1x
LIST

# The units start what was installed beside them.
for unit in "$prefix"/lib/systemd/system/*.service; do
    [ -f "$unit" ] || continue
    grep -E '^ExecStart=' "$unit" | grep -q "$prefix/" ||
        { echo "$(basename "$unit"): ExecStart does not point into the prefix"; fail=1; }
done

# The installed programs behave as the built ones on the sample cases.
for case in sample_rx_stdout sample_sl1x_stdout; do
    bash "$src/tests/run_case.sh" "$src/tests/e2e/$case" "$prefix/sbin" || fail=1
done
[ $fail = 0 ] && echo "install holds programs, loader, manual pages, units and docs"
exit $fail
