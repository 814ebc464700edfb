#!/bin/sh
# Checks every manual page in man/ as it is installed, each in its manN/
# folder: mandoc -T lint at style level must say nothing, every morva page
# a page refers to must be there, and man(1) must render each page without
# a warning where man-db is installed. Skipped (77) without mandoc.
# Usage: lint.sh MANSRC WORKDIR
set -u
src=$1
work=$2
command -v mandoc >/dev/null 2>&1 ||
    { echo "skipped: no mandoc (Debian package mandoc)"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
pages=
for page in "$src"/*.[1-9]; do
    [ -e "$page" ] || [ -L "$page" ] || continue
    name=${page##*/}
    mkdir -p "$work/man${name##*.}"
    cp -P "$page" "$work/man${name##*.}/"   # a link page stays a link
    pages="$pages man${name##*.}/$name"
done
[ -n "$pages" ] || { echo "no manual page in $src"; exit 1; }
cd "$work" || exit 1
# An index of the staged pages, so that references between them resolve.
makewhatis "$work" >/dev/null 2>&1

fail=0
for p in $pages; do
    [ -L "$p" ] && continue   # its target is checked
    # Whether a manual of another package (stty, socat, ...) is installed
    # depends on the machine, not on the page: only those lookups are left
    # out. A morva page that is missing is a fault of this package.
    out=$(MANPATH=$work mandoc -T lint -W style "$p" 2>&1 |
        awk '!/referenced manual not found: Xr / || /Xr morva-/')
    if [ -n "$out" ]; then
        echo "$out"
        fail=1
    fi
done

if command -v man >/dev/null 2>&1; then
    for p in $pages; do
        name=${p#*/}
        sec=${name##*.}
        out=$(LC_ALL=C.UTF-8 MANPAGER=cat MANWIDTH=80 MAN_DISABLE_SECCOMP=1 \
            man --warnings -M "$work" "$sec" "${name%.*}" 2>&1 >/dev/null)
        rc=$?
        if [ $rc != 0 ] || [ -n "$out" ]; then
            echo "$p: man (status $rc):"
            echo "$out"
            fail=1
        fi
    done
else
    echo "note: no man (Debian package man-db): the rendering through man-db is not checked"
fi
[ $fail = 0 ] && echo "manual pages clean:$pages"
exit $fail
