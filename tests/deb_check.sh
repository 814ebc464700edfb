#!/usr/bin/env bash
# Builds the Debian package from the build folder into a scratch folder and
# inspects it: its files, the dependencies dpkg-shlibdeps computed, and
# lintian's verdict (no errors). Skipped (77) without the Debian tools.
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

fail=0
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$out/files"
for path in /usr/sbin/morva-sl1x11rx /usr/sbin/morva-sl1x /usr/bin/morva-cdrload \
    /usr/share/man/man8/morva-sl1x11rx.8.gz /usr/share/man/man5/morva-cdr.5.gz \
    /usr/share/man/man1/morva-cdrload.1.gz /usr/lib/systemd/system/morva-sl1x11rx@.service \
    /usr/lib/systemd/system/morva-cdrload@.timer /usr/share/doc/morva/copyright \
    /usr/share/doc/morva/changelog.gz; do
    grep -qxF "$path" "$out/files" || { echo "not in the package: $path"; fail=1; }
done
if grep -v '^/usr/' "$out/files" | grep -qv '^/$'; then
    echo "files outside /usr:"; grep -v '^/usr/' "$out/files"; fail=1
fi

# Computed, never listed by hand: the C library, the C++ runtime and SQLite.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
    case $dep in
    libc6 | libstdc++6 | libgcc-s1 | libsqlite3-0) ;;
    *) echo "unexpected dependency: $dep"; fail=1 ;;
    esac
done

if command -v lintian >/dev/null; then
    lintian --allow-root "$deb" >"$out/lintian" 2>&1
    cat "$out/lintian"
    grep -q '^E: ' "$out/lintian" && { echo "lintian reports errors"; fail=1; }
else
    echo "lintian not installed: its verdict is not checked"
fi
[ $fail = 0 ] && echo "package $(basename "$deb") is sound"
exit $fail
