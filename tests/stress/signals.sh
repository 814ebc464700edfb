#!/usr/bin/env bash
# A generated stream into the hourly tree with the raw log on, while SIGUSR1
# and SIGALRM arrive by the thousand: the tree must equal that of a
# signal-free run, and the raw log must be the input bytes read while logging
# was on, in order, none lost or doubled, one piece per "Opened raw data file".
. "$(dirname "$0")/lib.sh"

for try in 1 2 3 4; do
    t0=$(now)
    generate "$tmp/in" "$lines"
    calls=$(valueof calls "$tmp/in.counts")

    # The reference: no signals, no raw log.
    mkdir "$tmp/ref"
    "${runenv[@]}" "$prog" -v -i "$tmp/in" -o "$tmp/ref" >"$tmp/ref.out" 2>"$tmp/ref.err"
    st=$?
    [ $st = 0 ] || fail "signal-free run ended with $st: $(tail -n 3 "$tmp/ref.err")"
    [ -s "$tmp/ref.out" ] && fail "signal-free run wrote to stdout"
    cdrs=$(find "$tmp/ref" -type f -exec cat {} + | wc -l)
    # Most calls decode: all but station-to-station calls on morva-sl1x (no -M)
    # and the calls to a conference bridge, which make no call record.
    [ $((cdrs * 10)) -ge $((calls * 9)) ] || fail "only $cdrs CDR lines from $calls call lines"
    t1=$(now)

    # The same under the signals.
    mkdir "$tmp/tree"
    "${runenv[@]}" "$prog" -v -i "$tmp/in" -o "$tmp/tree" -R "$tmp/raw" >"$tmp/out" 2>"$tmp/err" &
    pid=$!
    started+=("$pid")
    "$check" pelt "$pid" "$seed" >"$tmp/pelt" &
    pelt=$!
    started+=("$pelt")
    wait "$pid"
    st=$?
    wait "$pelt"
    started=()   # both reaped: their ids may be anyone's now
    t2=$(now)
    noshm "$pid"
    [ $st = 0 ] || fail "run under signals ended with $st: $(tail -n 3 "$tmp/err")"
    [ -s "$tmp/out" ] && fail "run under signals wrote to stdout"
    grep -qx "my_exit: errcode = 0" "$tmp/err" || fail "no orderly exit on stderr"
    usr1=$(valueof usr1 "$tmp/pelt")
    alrm=$(valueof alrm "$tmp/pelt")
    # A thousand signals at least: a run too short for them (a fast machine)
    # is made longer, never failed for its speed.
    [ $((usr1 + alrm)) -ge 1000 ] && break
    [ "$try" -lt 4 ] || skip "only $usr1 SIGUSR1 and $alrm SIGALRM in a run of $lines lines"
    lines=$((lines * 4))
    rm -rf "$tmp/ref" "$tmp/tree" "$tmp/raw"
done

diff -r "$tmp/ref" "$tmp/tree" >"$tmp/diff" || fail "CDR tree differs from the signal-free one: $(head -n 5 "$tmp/diff")"

# The raw log against the input.
"$check" raw "$tmp/in" "$tmp/raw" >"$tmp/pieces" || fail "raw log is not pieces of the input"
pieces=$(valueof pieces "$tmp/pieces")
first=$(valueof first "$tmp/pieces")
end=$(valueof end "$tmp/pieces")
size=$(valueof size "$tmp/pieces")
opened=$(grep -cx "Opened raw data file $tmp/raw" "$tmp/err")
# The log holds the input from its first byte unless a SIGUSR1 switched it
# off before that byte was read.
early=$(awk -v raw="$tmp/raw" '$0 == "Opened raw data file " raw { print 0; exit }
    /now dolograw=0$/ { print 1; exit }' "$tmp/err")
[ "$first" = 0 ] || [ "$early" = 1 ] || fail "raw log does not start with the input's first byte"
[ "$pieces" = "$opened" ] || fail "raw log has $pieces pieces, stderr tells $opened openings"

# The toggles in their order: each switch-off is told right after the log was
# closed; each switch-on opens the log with the next byte, unless the input
# ended first. Logging on to the end with the log opened means that the log
# ends with the input.
awk -v raw="$tmp/raw" -v end="$end" -v size="$size" '
    BEGIN { on = 1; waiting = 1 }
    /do_toglograw/ && !/^do_toglograw\(\) sig=10  now dolograw=[01]$/ {
        print "unexpected toggle line: " $0; bad = 1; exit 1 }
    /now dolograw=0$/ {
        if (prev != "Closed raw data file " raw) { print "switched off without closing the log"; bad = 1; exit 1 }
        on = 0; waiting = 0; offs++ }
    /now dolograw=1$/ { on = 1; waiting = 1; ons++ }
    $0 == "Opened raw data file " raw { waiting = 0 }
    $0 != "" { prev = $0 }
    END {
        if (bad) exit 1
        if (on && !waiting && end != size) {
            print "logging on at the end, but the log stops at " end " of " size " bytes"; exit 1 }
        printf "%d %d\n", ons, offs
    }' "$tmp/err" >"$tmp/toggles" || fail "$(cat "$tmp/toggles")"
read -r ons offs <"$tmp/toggles"
[ $((ons + offs)) -ge 2 ] || fail "the log was toggled only $((ons + offs)) times"
statuses=$(grep -c "Rec:" "$tmp/err")

echo "$name: $lines lines, $cdrs CDR lines in $(find "$tmp/ref" -type f | wc -l) hourly files;" \
    "sent $usr1 SIGUSR1 and $alrm SIGALRM: $ons switch-ons, $offs switch-offs, $statuses status lines;" \
    "raw log $(stat -c %s "$tmp/raw") of $size bytes in $pieces pieces;" \
    "reference $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }') s, under signals $(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.1f", b - a }') s, all $(since "$t0") s"
