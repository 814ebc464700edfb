#!/usr/bin/env bash
# Prometheus's own checker on what morva gives it: the alert rules pass
# promtool check rules and their tests (morva.rules.test.yml), and the
# metrics file the loader writes after loading the tree the packer made of
# the sample passes promtool check metrics and morva-check finds it OK.
# Skipped (77) without promtool (Debian package prometheus).
# Usage: promtool_check.sh RULES_DIR PACKER SAMPLE [LOADER CHECK]
set -u
rules=$1 packer=$2 sample=$3 loader=${4:-} check=${5:-}
command -v promtool >/dev/null ||
    { echo "skipped: no promtool (Debian package prometheus)"; exit 77; }

fail=0
promtool check rules "$rules/morva.rules.yml" || fail=1
promtool test rules "$rules/morva.rules.test.yml" || fail=1

if [ -n "$loader" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/cdr"
    # -v keeps the sample's own times, whatever today's date.
    "$packer" -v -i "$sample" -o "$work/cdr" 2>/dev/null || { echo "the packer failed"; fail=1; }
    prom=$work/morva-cdrload-sample.prom
    "$loader" --metrics "$prom" "$work/cdr.sqlite" "$work/cdr" || { echo "the loader failed"; fail=1; }
    promtool check metrics <"$prom" || { echo "promtool check metrics fails on the loader's file"; fail=1; }
    out=$("$check" "$prom")
    [ $? = 0 ] && [[ $out == "MORVA OK - loader sample | "* ]] ||
        { echo "morva-check: $out"; fail=1; }
fi
[ $fail = 0 ] && echo "rules, their tests and the loader's metrics pass promtool"
exit $fail
