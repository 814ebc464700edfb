#!/usr/bin/env bash
# SIGTERM at 50 seeded moments spread over a run into the hourly tree with the
# raw log on. Each run must end with status 0 and the exit lines on stderr;
# its tree must hold whole lines that are the signal-free output's first
# ones, except that the call held at the signal is drained at the exit: the
# last line may lack the meter pulses that its "&" line would have brought.
# The raw log must be the input's first bytes, at least as far as was read
# when the signal was sent, and those bytes, run to their end without a
# signal, must give the very same lines.
. "$(dirname "$0")/lib.sh"

runs=50
# A tenth of the stream: fifty runs cut anywhere in it cost some
# twenty-five whole runs.
lines=$((lines / 10))
t0=$(now)
generate "$tmp/in" "$lines"
size=$(stat -c %s "$tmp/in")
"${runenv[@]}" "$prog" -v <"$tmp/in" >"$tmp/ref" 2>"$tmp/ref.err"
st=$?
[ $st = 0 ] || fail "signal-free run ended with $st: $(tail -n 3 "$tmp/ref.err")"

# The moments, as input offsets: the signal goes once the program has read
# that far. The last 3 % are left out, so that the input does not end first.
RANDOM=$seed
offsets=()
for ((i = 0; i < runs; i++)); do
    offsets+=($(((RANDOM << 15 | RANDOM) % (size * 97 / 100) + 1)))
done

job() {
    local i=$1 d="$tmp/k$1" pid st kst sent verdict="$tmp/verdict.$1"
    mkdir -p "$d/tree"
    "${runenv[@]}" "$prog" -v -o "$d/tree" -R "$d/raw" <"$tmp/in" >"$d/out" 2>"$d/err" &
    pid=$!
    sent=$("$check" killat "$pid" "${offsets[$i]}")
    kst=$?
    wait "$pid"
    st=$?
    {
        if [ -e "/dev/shm/faketime_shm_$pid" ]; then
            echo "run $i left /dev/shm/faketime_shm_$pid"
        elif [ $st != 0 ]; then
            echo "run $i (SIGTERM at $sent) ended with $st"; tail -n 5 "$d/err"
        elif [ -s "$d/out" ]; then
            echo "run $i wrote to stdout"
        elif ! awk '
                /^do_terminate\(\)/ { if ($0 != "do_terminate() sig=15" || t) bad = 1; t = NR }
                t && !s && /Rec:/ { s = NR }
                /my_exit/ { m++ }
                $0 != "" { last = $0 }
                END { exit bad || !(m == 1 && last == "my_exit: errcode = 0" && (!t || s > t)) }' "$d/err"; then
            echo "run $i (SIGTERM at $sent): not the exit lines on stderr"; tail -n 8 "$d/err"
        elif ! res=$("$check" prefix "$tmp/ref" "$d/tree" 2>&1); then
            echo "run $i (SIGTERM at $sent): $res"
        else
            raw=$(stat -c %s "$d/raw")
            if ! cmp -s -n "$raw" "$d/raw" "$tmp/in" || [ "$raw" -gt "$size" ]; then
                echo "run $i (SIGTERM at $sent): raw log is not the start of the input"
            elif grep -q "^do_terminate" "$d/err"; then
                # The bytes read, run to their end without a signal, give the
                # same lines: the end of input drains the held call as SIGTERM
                # does, so no call was lost, doubled or drained twice.
                "${runenv[@]}" "$prog" -v <"$d/raw" >"$d/replay" 2>"$d/replay.err"
                if [ $kst != 0 ] || [ "$raw" -lt "$sent" ]; then
                    echo "run $i: raw log holds $raw bytes, $sent had been read at the signal"
                elif [ "$("$check" prefix "$d/replay" "$d/tree" 2>&1)" != "lines $(wc -l <"$d/replay") exact" ]; then
                    echo "run $i (SIGTERM at $sent): the tree is not what the $raw bytes read give"
                else
                    echo "ok term $res"
                fi
            elif [ "$res" != "lines $(wc -l <"$tmp/ref") exact" ] || [ "$raw" != "$size" ]; then
                echo "run $i ran to the end of the input without all of it: $res, raw $raw"
            else
                echo "ok end $res"
            fi
        fi
    } >"$verdict"
    rm -rf "$d"
}

inlanes $(seq 0 $((runs - 1)))

termed=$(cat "$tmp"/verdict.* | grep -c "^ok term")
held=$(cat "$tmp"/verdict.* | grep -c "meterless")
[ "$termed" -ge $((runs * 4 / 5)) ] || fail "only $termed of $runs runs were ended by the signal"
echo "$name: $lines lines, $runs runs: $termed ended by SIGTERM ($held of them drained a call" \
    "whose meter line had not come), $((runs - termed)) at the end of the input; $(since "$t0") s"
