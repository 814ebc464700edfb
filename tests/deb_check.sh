#!/usr/bin/env bash
# Builds the Debian package from the build folder into a scratch folder and
# inspects it: its files and conffiles, the dependencies dpkg-shlibdeps
# computed, what the maintainer scripts do to the data (in a scratch root)
# and to the units (where systemd runs, faked), the hardening of its programs (hardening-check) and lintian's verdict
# (-I --pedantic: no error, no warning, no hardening tag). Skipped (77)
# without the Debian tools; without hardening-check or lintian the rest is
# checked and the run still reports skipped, never passed.
# Usage: deb_check.sh BUILD_DIR
set -u
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB -B "$out" --config "$build/CPackConfig.cmake" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; echo "cpack failed"; exit 1; }
deb=$(ls "$out"/*.deb)

fail=0 skipped=
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$out/files"
for path in /usr/sbin/morva-sl1x11rx /usr/sbin/morva-sl1x /usr/bin/morva-cdrload \
    /usr/bin/morva-check /usr/share/man/man1/morva-check.1.gz /usr/share/morva/prometheus/morva.rules.yml \
    /usr/bin/morva-report /usr/share/man/man8/morva-sl1x11rx.8.gz /usr/share/man/man5/morva-cdr.5.gz \
    /usr/share/man/man1/morva-cdrload.1.gz /usr/share/man/man1/morva-report.1.gz \
    /usr/lib/systemd/system/morva-sl1x11rx@.service /usr/lib/systemd/system/morva-cdrload@.timer \
    /usr/lib/systemd/system/morva-report@.service /usr/lib/systemd/system/morva-report@.timer \
    /usr/share/doc/morva/examples/tariff.csv /usr/share/doc/morva/examples/morva-cdrload-central.conf \
    /etc/default/morva-report /usr/share/doc/morva/copyright \
    /usr/share/doc/morva/changelog.gz /etc/default/morva /etc/logrotate.d/morva; do
    grep -qxF "$path" "$out/files" || { echo "not in the package: $path"; fail=1; }
done
if grep -v -e '^/usr/' -e '^/etc/' "$out/files" | grep -qv '^/$'; then
    echo "files outside /usr and /etc:"; grep -v -e '^/usr/' -e '^/etc/' "$out/files"; fail=1
fi
# Every file in /etc is a conffile, or an upgrade overwrites the
# administrator's edits.
mkdir "$out/control"
dpkg-deb -e "$deb" "$out/control"
grep '^/etc/.*[^/]$' "$out/files" | sort >"$out/etcfiles"
sort "$out/control/conffiles" 2>/dev/null | diff "$out/etcfiles" - >"$out/conffiles.diff" ||
    { echo "files in /etc (<) and conffiles (>) differ:"; cat "$out/conffiles.diff"; fail=1; }

# Computed, never listed by hand: the C library, the C++ runtime, SQLite,
# libpq and libsystemd (the packers' notify protocol), the last three linked
# shared.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
    case $dep in
    libc6 | libstdc++6 | libgcc-s1 | libsqlite3-0 | libpq5 | libsystemd0) ;;
    *) echo "unexpected dependency: $dep"; fail=1 ;;
    esac
done
for dep in libsqlite3-0 libpq5 libsystemd0; do
    echo "$depends" | grep -qE "(^|, )$dep( |,|$)" || { echo "$dep not in Depends"; fail=1; }
done

# The maintainer scripts on a scratch root (DPKG_ROOT, where they leave
# systemd alone): install, upgrade and removal keep the data, a purge
# deletes them and the links systemctl enable made to the package's units,
# and nothing else.
root=$out/root
mkdir -p "$root/var/lib/private/morva/ttyS0/cdr" "$root/var/lib/private/other" \
    "$root/var/lib/morva" "$root/etc/systemd/system/dev-ttyS0.device.wants" \
    "$root/etc/systemd/system/multi-user.target.wants"
echo data >"$root/var/lib/private/morva/ttyS0/rawsmdr"
ln -s ../private/morva/ttyS0 "$root/var/lib/morva/ttyS0"
ln -s /lib/systemd/system/morva-sl1x11rx@.service \
    "$root/etc/systemd/system/dev-ttyS0.device.wants/morva-sl1x11rx@ttyS0.service"
ln -s /etc/systemd/system/morva-sl1x11rx-socat@.service \
    "$root/etc/systemd/system/multi-user.target.wants/morva-sl1x11rx-socat@pabx1.service"
maint() {
    DPKG_ROOT=$root sh "$out/control/$1" "${@:2}" || { echo "$* failed"; fail=1; }
}
maint postinst configure
maint prerm upgrade 0.4.0
maint postinst configure 0.4.0
maint prerm remove
maint postrm remove
[ -f "$root/var/lib/morva/ttyS0/rawsmdr" ] ||
    { echo "the data went before a purge"; fail=1; }
maint postrm purge
for gone in var/lib/morva var/lib/private/morva \
    etc/systemd/system/dev-ttyS0.device.wants/morva-sl1x11rx@ttyS0.service; do
    [ -e "$root/$gone" ] || [ -L "$root/$gone" ] && { echo "a purge left $gone"; fail=1; }
done
for kept in var/lib/private/other \
    etc/systemd/system/multi-user.target.wants/morva-sl1x11rx-socat@pabx1.service; do
    [ -e "$root/$kept" ] || [ -L "$root/$kept" ] || { echo "a purge removed $kept"; fail=1; }
done

# The same scripts where systemd runs (faked in a mount namespace of our own:
# a /run with /run/systemd/system, systemctl and deb-systemd-invoke replaced
# by stand-ins that log, systemctl listing a fixed set of units). Without
# /run/systemd/system (a chroot, a container) nothing is called. A fresh
# install only reloads; an upgrade stops the TCP connections' packers and
# restarts what else runs, but not a loader run; a removal stops every unit
# loaded, sockets and timers first.
if unshare -m true 2>/dev/null; then
    stubs=$out/stubs
    mkdir "$stubs"
    cat >"$stubs/systemctl" <<'STUB'
#!/bin/bash
echo "systemctl $*" >>"$LOG"
[ "$1" = list-units ] || exit 0
all= pats=()
for a in "${@:2}"; do
    case $a in --all) all=1 ;; --*) ;; *) pats+=("$a") ;; esac
done
while read -r name state; do
    [ -n "$all" ] || [ "$state" = active ] || continue
    for p in "${pats[@]}"; do
        [[ $name == $p ]] && echo "$name loaded $state - -"
    done
done <<UNITS
morva-sl1x11rx@ttyS0.service active
morva-sl1x@ttyUSB1.service activating
morva-sl1x11rx-tcp@5-192.0.2.5:2300-192.0.2.10:49152.service active
morva-sl1x11rx-tcp.socket active
morva-sl1x-tcp.socket inactive
morva-cdrload@ttyS0.timer active
morva-cdrload@ttyS0.service active
morva-sl1x11rx-socat@pabx1.service active
UNITS
STUB
    printf '#!/bin/sh\necho "invoke $*" >>"$LOG"\n' >"$stubs/deb-systemd-invoke"
    chmod +x "$stubs"/*
    # Runs a script with /run/systemd/system there (or not, with runs=).
    runs='mkdir -p /run/systemd/system &&'
    systemd() {
        : >"$out/log"
        LOG=$out/log PATH=$stubs:$PATH unshare -m sh -c \
            "mount -t tmpfs none /run && $runs"' sh "$@"' sh "$@" >/dev/null ||
            { echo "$* failed"; fail=1; }
        grep '^invoke' "$out/log" >"$out/invoked"
    }
    expect() {
        { [ $# = 0 ] || printf '%s\n' "$@"; } | diff - "$out/invoked" >"$out/invoked.diff" ||
            { echo "$what: expected (<) and done (>):"; cat "$out/invoked.diff"; fail=1; }
    }
    # These run on the real root: only the steps that leave files alone
    # (never a purge).
    runs=
    for script in "postinst configure 0.4.0" "prerm remove" "postrm remove"; do
        systemd "$out/control/${script%% *}" ${script#* }
        [ -s "$out/log" ] && { echo "$script calls systemd where it does not run"; fail=1; }
    done
    runs='mkdir -p /run/systemd/system &&'
    what="install"
    systemd "$out/control/postinst" configure
    grep -q daemon-reload "$out/log" || { echo "an install does not reload systemd"; fail=1; }
    expect
    what="upgrade"
    systemd "$out/control/postinst" configure 0.4.0
    expect "invoke stop morva-sl1x11rx-tcp@5-192.0.2.5:2300-192.0.2.10:49152.service" \
        "invoke restart morva-sl1x11rx@ttyS0.service morva-sl1x11rx-tcp.socket morva-cdrload@ttyS0.timer morva-sl1x11rx-socat@pabx1.service"
    what="removal"
    systemd "$out/control/prerm" remove
    expect "invoke stop morva-sl1x11rx-tcp.socket morva-sl1x-tcp.socket morva-cdrload@ttyS0.timer" \
        "invoke stop morva-sl1x11rx@ttyS0.service morva-sl1x@ttyUSB1.service morva-sl1x11rx-tcp@5-192.0.2.5:2300-192.0.2.10:49152.service morva-cdrload@ttyS0.service morva-sl1x11rx-socat@pabx1.service"
else
    echo "no mount namespace (unshare -m): the scripts are not checked where systemd runs"
    skipped="$skipped unshare"
fi

# The programs as installed: what Debian's hardening gives. Control-flow
# protection is not asked for: the C library's start files of Debian 12
# carry no such marking, so no program linked with them can have it.
mkdir "$out/data"
dpkg-deb -x "$deb" "$out/data"
if command -v hardening-check >/dev/null; then
    hardening-check --nocfprotection --quiet "$out"/data/usr/sbin/* "$out"/data/usr/bin/* ||
        { echo "hardening-check fails"; fail=1; }
else
    echo "hardening-check (Debian package devscripts) not installed: hardening not checked"
    skipped="$skipped hardening-check"
fi

if command -v lintian >/dev/null; then
    lintian -I --pedantic --allow-root "$deb" >"$out/lintian" 2>&1
    cat "$out/lintian"
    grep -q -e '^[EW]: ' -e '^.: [^ ]* hardening-' "$out/lintian" &&
        { echo "lintian reports errors, warnings or hardening tags"; fail=1; }
else
    echo "lintian not installed: its verdict is not checked"
    skipped="$skipped lintian"
fi
[ $fail = 0 ] || exit 1
[ -z "$skipped" ] || { echo "skipped: no$skipped"; exit 77; }
echo "package $(basename "$deb") is sound"
exit 0
