#!/usr/bin/env bash
# Installs the build into a scratch root's /usr and checks the systemd units
# installed there and the socat recipe beside the documentation:
# systemd-analyze verify passes on each with nothing to say (a misspelt
# setting only gets a warning and status 0), each service unit's exposure is
# 2.0 or less, each manual page a unit names is installed, and
# systemctl enable hooks the units where the operator's guide says.
# Skipped (77) without systemd-analyze.
# Usage: units_check.sh BUILD_DIR
set -u
build=$1
command -v systemd-analyze >/dev/null ||
    { echo "skipped: no systemd-analyze (Debian package systemd)"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
prefix=$root/usr
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; echo "cmake --install failed"; exit 1; }
unitdir=$prefix/lib/systemd/system
exampledir=$prefix/share/doc/morva/examples
[ -d "$unitdir" ] || { echo "no units installed in lib/systemd/system"; exit 1; }

fail=0
# verify looks for the programs the units start; a build without the
# loader gets a stand-in, so that its units are still checked (the install
# check reports the missing loader itself).
loaderbuilt=
[ -x "$prefix/bin/morva-cdrload" ] && loaderbuilt=1
for prog in morva-cdrload morva-report; do
    [ -x "$prefix/bin/$prog" ] && continue
    echo "note: $prog not installed, its units checked against a stand-in"
    mkdir -p "$prefix/bin"
    printf '#!/bin/sh\nexit 2\n' >"$prefix/bin/$prog"
    chmod 755 "$prefix/bin/$prog"
done

# Templates are checked through an instance: serial units and the loader as
# ttyS0, a TCP connection as its first, the socat recipe as an exchange's
# name (systemd-analyze cannot load a name with a colon).
units=()
for path in "$unitdir"/* "$exampledir"/*.service; do
    [ -e "$path" ] || continue
    name=$(basename "$path")
    case $name in
    *-tcp@.*) inst=${name/@./@1.} ;;
    *-socat@.*) inst=${name/@./@pabx1.} ;;
    *@.*) inst=${name/@./@ttyS0.} ;;
    *) inst= ;;
    esac
    if [ -n "$inst" ]; then
        ln -s "$name" "$(dirname "$path")/$inst"
        units+=("$(dirname "$path")/$inst")
    else
        units+=("$path")
    fi
done
# A serial line by its stable name, as the guide says to enable it: the
# path below /dev, escaped.
byid=$(systemd-escape --path /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0)
byid=${byid#dev-}
for name in morva-sl1x11rx@.service morva-cdrload@.service; do
    ln -s "$name" "$unitdir/${name/@./@$byid.}"
    units+=("$unitdir/${name/@./@$byid.}")
done
[ -e "$exampledir/morva-sl1x11rx-socat@.service" ] ||
    { echo "the socat recipe is not installed in the documentation"; fail=1; }
# The loader and the report of an instance with the drop-in for a central
# server: the unit and the drop-in as one, the drop-in's settings last, as
# systemd reads them.
if [ -e "$exampledir/morva-cdrload-central.conf" ]; then
    for prog in cdrload report; do
        cat "$unitdir/morva-$prog@.service" "$exampledir/morva-cdrload-central.conf" \
            >"$unitdir/morva-$prog-central@.service"
        ln -s "morva-$prog-central@.service" "$unitdir/morva-$prog-central@ttyS0.service"
        units+=("$unitdir/morva-$prog-central@ttyS0.service")
    done
else
    echo "the loader's drop-in for a central server is not installed in the documentation"; fail=1
fi

for unit in "${units[@]}"; do
    name=$(basename "$unit")
    out=$(systemd-analyze verify --man=no "$unit" 2>&1)
    rc=$?
    if [ $rc != 0 ] || [ -n "$out" ]; then
        echo "$name: systemd-analyze verify (status $rc):"
        echo "$out"
        fail=1
    fi
    for page in $(sed -n 's/^Documentation=//p' "$unit" | tr ' ' '\n' |
        sed -n 's/^man:\(.*\)(\([0-9]\))$/\1.\2/p'); do
        ls "$prefix/share/man/man${page##*.}/$page"* >/dev/null 2>&1 ||
            { echo "$name: names manual page $page, which is not installed"; fail=1; }
    done
    case $name in
    *.service)
        out=$(systemd-analyze security --offline=true --threshold=20 "$unit" 2>&1)
        rc=$?
        level=$(echo "$out" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
        echo "$name: exposure ${level:-unknown}"
        if [ $rc != 0 ] || [ -z "$level" ]; then
            echo "$out" | grep -F '✗' | head -n 40
            echo "$name: exposure above 2.0 (status $rc)"
            fail=1
        fi
        ;;
    esac
done

# The guide and the manual page set a line up with the very words the
# serial units use, and one of the two framings they name.
unitstty=$(sed -n 's|^ExecStartPre=/bin/stty -F /dev/%I ${MORVA_SPEED} \(.*\) $MORVA_FRAMING$|\1|p' \
    "$unitdir/morva-sl1x11rx@.service")
for doc in "$prefix/share/doc/morva/operator.md" "$prefix/share/man/man8/morva-sl1x11rx.8"; do
    # Continued lines joined (\ in the guide, \e in the page).
    sed -e ':a' -e '/\\e\{0,1\}$/{N;s/ *\\e\{0,1\}\n */ /;ba' -e '}' "$doc" |
        sed -n 's/^ *stty -F [^ ]* [0-9]* //p' >"$scratch/stty"
    [ -s "$scratch/stty" ] || { echo "$(basename "$doc"): no stty line"; fail=1; }
    while read -r words; do
        case $words in
        "$unitstty cs8 -parenb -istrip" | "$unitstty cs7 parenb -parodd istrip") ;;
        *) echo "$(basename "$doc"): stty ... $words; the units: stty ... $unitstty FRAMING"; fail=1 ;;
        esac
    done <"$scratch/stty"
done

# Sets line to the ExecStart of UNIT read as systemd reads it: $$ and %% are
# the characters themselves, %i stays for the instance, $VAR is split into
# words by the eval that runs it; any other $ or % would be systemd's, so it
# fails here. /var/lib/morva is moved to the scratch folder.
execline() {
    line=$(sed -n 's/^ExecStart=//p' "$unitdir/$1")
    line=${line//%%/$'\001'}
    line=${line//\$\$/$'\002'}
    local rest=${line//%i/}
    rest=${rest//\$$2/}
    if [[ $rest == *[%\$]* ]]; then
        echo "$1: ExecStart has a % or \$ that systemd takes for its own"
        return 1
    fi
    line=${line//$'\001'/%}
    line=${line//$'\002'/\$}
    line=${line//\/var\/lib\/morva\//$scratch/state/}
}

# Each TCP connection's packer as its unit starts it (execline).
# Two connections get a raw log each, named for the connection's start
# (UTC) and its instance, holding exactly what came on it; the calls of
# both go to the one tree.
samples=$prefix/share/doc/morva/examples
for prog in sl1x11rx sl1x; do
    state=$scratch/state/tcp-$prog
    mkdir -p "$state/cdr" "$state/raw"
    execline "morva-$prog-tcp@.service" MORVA_OPTS || { fail=1; continue; }
    conns="1-192.0.2.5:2300-192.0.2.10:49152 2-192.0.2.5:2300-192.0.2.11:49153"
    for conn in $conns; do
        (MORVA_OPTS=-v; eval "${line//%i/$conn}") <"$samples/$prog.smdr" 2>"$scratch/tcp.err" ||
            { cat "$scratch/tcp.err"; echo "morva-$prog-tcp@$conn: the packer failed"; fail=1; }
    done
    for conn in $conns; do
        logs=$(ls "$state/raw" | grep -c -E "^[0-9]{8}T[0-9]{6}Z-$conn\.smdr\$")
        log=$(ls "$state/raw"/*"-$conn.smdr" 2>/dev/null | head -n 1)
        [ "$logs" = 1 ] && cmp -s "$log" "$samples/$prog.smdr" ||
            { echo "morva-$prog-tcp@$conn: not one raw log of its own holding its input:"; ls "$state/raw"; fail=1; }
    done
    [ "$(ls "$state/raw" | wc -l)" = 2 ] && [ -n "$(find "$state/cdr" -type f)" ] ||
        { echo "morva-$prog-tcp: raw logs or tree not as expected"; ls -R "$state"; fail=1; }
done

# The loader's unit as it starts the loader (execline), on the tree the TCP
# packer made: MORVA_METRICS=yes writes its figures into the textfile
# directory as morva-cdrload-INSTANCE.prom, no leaves them out, any other
# value fails with status 2 before loading.
if [ -n "$loaderbuilt" ]; then
    if ! execline morva-cdrload@.service NONE; then
        fail=1
    else
        line=${line//\/var\/lib\/prometheus\/node-exporter\//$scratch/}
        for value in no yes bogus; do
            out=$(export MORVA_METRICS=$value MORVA_DB= MORVA_SITE=; eval "${line//%i/tcp-sl1x}" 2>&1)
            echo "$?: $out $(ls "$scratch" | grep prom)" >>"$scratch/loads"
        done
        printf '%s\n' "0:  " "0:  morva-cdrload-tcp-sl1x.prom" \
            "2: morva-cdrload: MORVA_METRICS=bogus: not yes or no morva-cdrload-tcp-sl1x.prom" |
            diff - "$scratch/loads" && grep -q 'morva_cdrload_runs_total{source="morva-cdrload-tcp-sl1x",result="success"} 1$' \
            "$scratch/morva-cdrload-tcp-sl1x.prom" || { echo "morva-cdrload@.service: MORVA_METRICS no, yes, bogus"; fail=1; }
        # MORVA_DB and MORVA_SITE: another database, the site named; the
        # database never on the command line (echo in the loader's place).
        (export MORVA_METRICS=no MORVA_DB=$scratch/other.sqlite MORVA_SITE="north wing"
            eval "${line//%i/tcp-sl1x}") &&
            [ "$(sqlite3 "$scratch/other.sqlite" 'SELECT DISTINCT site FROM cdr' 2>&1)" = "north wing" ] ||
            { echo "morva-cdrload@.service: MORVA_DB and MORVA_SITE not taken"; fail=1; }
        echoline=${line//"$prefix"\/bin\/morva-cdrload//bin/echo}
        args=$(export MORVA_METRICS=no MORVA_DB=$scratch/other.sqlite MORVA_SITE=
            eval "${echoline//%i/tcp-sl1x}")
        [ "$args" = "$scratch/state/tcp-sl1x/cdr" ] ||
            { echo "morva-cdrload@.service: MORVA_DB set, the loader's arguments: $args"; fail=1; }
    fi
fi

# The report unit's command (execline) on a database the installed packer and loader make of
# the sample: the month before the host clock's lands in the instance's
# reports, the page and its CSV files.
if [ -x "$prefix/bin/morva-report" ] && [ "$(wc -c <"$prefix/bin/morva-report")" -gt 1000 ]; then
    state=$scratch/state/ttyS0
    mkdir -p "$state/cdr"
    "$prefix/sbin/morva-sl1x11rx" -v -i "$samples/sl1x11rx.smdr" -o "$state/cdr" 2>/dev/null &&
        "$prefix/bin/morva-cdrload" "$state/cdr.sqlite" "$state/cdr" >/dev/null 2>&1 ||
        { echo "the sample's database was not made"; fail=1; }
    if ! execline morva-report@.service MORVA_REPORT_OPTS; then
        fail=1
    else
        (export MORVA_REPORT_OPTS="--mask 2 --long-hours 1" MORVA_DB= MORVA_SITE=
            eval "${line//%i/ttyS0}") 2>"$scratch/report.err" ||
            { cat "$scratch/report.err"; echo "morva-report@ttyS0: the report failed"; fail=1; }
        month=$(date -d "$(date +%Y-%m-01) -1 month" +%Y-%m)
        [ -s "$state/reports/$month.html" ] && [ -s "$state/reports/$month/extensions.csv" ] ||
            { echo "morva-report@ttyS0: no report of $month:"; ls -R "$state/reports"; fail=1; }
        # MORVA_DB and MORVA_SITE, as the loader's unit takes them: the
        # report of a site that only that database holds; a site it does
        # not hold fails.
        "$prefix/bin/morva-cdrload" --site "north wing" "$scratch/north.sqlite" "$state/cdr" \
            >/dev/null 2>&1 || { echo "the database of site north wing was not made"; fail=1; }
        rm -r "$state/reports"
        for site in "north wing" south; do
            (export MORVA_REPORT_OPTS= MORVA_DB=$scratch/north.sqlite MORVA_SITE=$site
                eval "${line//%i/ttyS0}") 2>"$scratch/report.err"
            echo "$?" >>"$scratch/reports"
        done
        [ "$(cat "$scratch/reports")" = "$(printf '0\n2')" ] &&
            grep -q ', site north wing' "$state/reports/$month.html" ||
            { echo "morva-report@.service: MORVA_DB and MORVA_SITE not taken"; fail=1; }
    fi
fi

# Enabling: a serial unit follows its adapter, the socket and the timer
# start at boot.
if command -v systemctl >/dev/null; then
    systemctl --root="$root" enable morva-sl1x11rx@ttyUSB0.service morva-sl1x@ttyS1.service \
        morva-sl1x11rx-tcp.socket morva-sl1x-tcp.socket morva-cdrload@ttyUSB0.timer \
        morva-report@ttyUSB0.timer \
        >"$scratch/enable.log" 2>&1 || { cat "$scratch/enable.log"; echo "systemctl enable failed"; fail=1; }
    for link in dev-ttyUSB0.device.wants/morva-sl1x11rx@ttyUSB0.service \
        dev-ttyS1.device.wants/morva-sl1x@ttyS1.service \
        sockets.target.wants/morva-sl1x11rx-tcp.socket sockets.target.wants/morva-sl1x-tcp.socket \
        timers.target.wants/morva-cdrload@ttyUSB0.timer timers.target.wants/morva-report@ttyUSB0.timer; do
        [ -L "$root/etc/systemd/system/$link" ] || { echo "systemctl enable made no $link"; fail=1; }
    done
fi
[ $fail = 0 ] && echo "${#units[@]} units verified, every service at an exposure of 2.0 or less"
exit $fail
