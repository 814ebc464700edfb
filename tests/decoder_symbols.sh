#!/usr/bin/env bash
# Each program holds its own decoder and nothing of the other one.
# Usage: decoder_symbols.sh MORVA-SL1X11RX MORVA-SL1X
set -u
rx=$1 sl1=$2
fail=0
if nm -C "$sl1" | grep -E ' (quescan|questore|queue|rxstripacc)\b'; then
    echo "morva-sl1x holds parts of the SL-1 X11 RX decoder"; fail=1
fi
if nm -C "$rx" | grep -E ' (envstripacc|sl1stripacc|atoi256)\b'; then
    echo "morva-sl1x11rx holds parts of the SL-1 decoder"; fail=1
fi
# The check above means something only if the symbols exist where they belong.
nm -C "$rx" | grep -q ' quescan' || { echo "no quescan in morva-sl1x11rx"; fail=1; }
nm -C "$sl1" | grep -q ' envstripacc' || { echo "no envstripacc in morva-sl1x"; fail=1; }
[ $fail = 0 ] && echo "each program holds only its own decoder"
exit $fail
