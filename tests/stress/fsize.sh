#!/usr/bin/env bash
# A file-size limit at 50 seeded byte offsets of the CDR output: 25 with the
# lines on stdout redirected to a file, 25 into the hourly tree, where the
# limit holds for each hourly file. Each run must end with status 1, one
# "can't write to cdrfile" message and the count of lines lost, and leave exactly the whole lines that
# fitted before the first line that did not: nothing of that line, and no
# later line either (the call drained at the exit is not written after it).
. "$(dirname "$0")/lib.sh"

command -v prlimit >/dev/null || skip "prlimit not found (Debian package util-linux)"
runs=25
# A fifth of the stream: the runs on stdout stop anywhere in it.
lines=$((lines / 5))

t0=$(now)
generate "$tmp/in" "$lines"
"${runenv[@]}" "$prog" -v -i "$tmp/in" >"$tmp/ref" 2>"$tmp/ref.err"
st=$?
[ $st = 0 ] || fail "limit-free run ended with $st: $(tail -n 3 "$tmp/ref.err")"

"$check" offsets "$tmp/ref" $runs "$seed" >"$tmp/offsets.stdout" || fail "no offsets"
"$check" offsets "$tmp/ref" $runs "$seed" tree >"$tmp/offsets.tree" || fail "no offsets"
mapfile -t limits < <(cat "$tmp/offsets.stdout" "$tmp/offsets.tree")

# Job i < runs writes to stdout, the others into a tree. Standard error goes
# through a pipe: a file would be held to the limit too.
job() {
    local i=$1 d="$tmp/f$1" pid cat st out args limit=${limits[$1]} verdict="$tmp/verdict.$1"
    mkdir -p "$d"
    if [ "$i" -lt $runs ]; then
        out="$d/out"
        args=()
        where=stdout
    else
        out="$d/tree"
        mkdir "$out"
        args=(-o "$out")
        where="$out/"
    fi
    mkfifo "$d/errpipe"
    cat "$d/errpipe" >"$d/err" &
    cat=$!
    prlimit --fsize="$limit" -- "${runenv[@]}" "$prog" -v -i "$tmp/in" "${args[@]}" \
        >"$d/out" 2>"$d/errpipe" &
    pid=$!
    wait "$pid"
    st=$?
    wait "$cat"
    {
        if [ -e "/dev/shm/faketime_shm_$pid" ]; then
            echo "run $i left /dev/shm/faketime_shm_$pid"
        elif [ $st != 1 ]; then
            echo "run $i (limit $limit, $where) ended with $st"; tail -n 5 "$d/err"
        elif [ "$(grep -c "^ERROR: can't write to cdrfile \[$where.*\] errno=27$" "$d/err")" != 1 ] ||
            [ "$(grep -c "^ERROR: CDR lines not written: [1-9][0-9]*$" "$d/err")" != 1 ] ||
            [ "$(grep -c "ERROR" "$d/err")" != 2 ] ||
            [ "$(grep -cx "my_exit: errcode = 1" "$d/err")" != 1 ]; then
            echo "run $i (limit $limit, $where): not the one error message and exit"; tail -n 8 "$d/err"
        elif ! res=$("$check" limit "$tmp/ref" "$out" "$limit" 2>&1); then
            echo "run $i: $res"
        else
            echo "ok $res"
        fi
    } >"$verdict"
    rm -rf "$d"
}

inlanes $(seq 0 $((2 * runs - 1)))

echo "$name: $lines lines, $(wc -l <"$tmp/ref") CDR lines ($(stat -c %s "$tmp/ref") bytes);" \
    "$runs limits on stdout from $(sort -n "$tmp/offsets.stdout" | head -n 1) to" \
    "$(sort -n "$tmp/offsets.stdout" | tail -n 1) bytes, $runs on the hourly files from" \
    "$(sort -n "$tmp/offsets.tree" | head -n 1) to $(sort -n "$tmp/offsets.tree" | tail -n 1) bytes; $(since "$t0") s"
