#!/usr/bin/env bash
# Checks that two builds of one tree (scripts/build-deb, in two folders at
# two times) made byte-identical Debian packages, and that no file in them
# names the folder it was built in. On a difference it says which package
# and which file in it differ, with diffoscope's report where diffoscope is
# installed.
#   tests/package/reproducible_test.sh <first output folder> <second output folder>
set -euo pipefail
first=$(realpath "${1:?usage: $0 <first output folder> <second output folder>}")
second=$(realpath "${2:?usage: $0 <first output folder> <second output folder>}")
name=reproducible_test

fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}
ok() { echo "$name: ok: $*"; }

packages() { (cd "$1" && ls -- *.deb 2>/dev/null) || true; }
[ -n "$(packages "$first")" ] || fail "no packages in $first (scripts/build-deb makes them)"
[ "$(packages "$first")" = "$(packages "$second")" ] ||
    fail "the two builds made different packages: $(packages "$first") / $(packages "$second")"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT

# Names the files in which two unpacked packages differ (contents, mode,
# owner, link target or time), then shows diffoscope's report.
explain() {
    local deb=$1 a=$unpacked/first/$1 b=$unpacked/second/$1
    mkdir -p "$a" "$b"
    dpkg-deb -R "$first/$deb" "$a"
    dpkg-deb -R "$second/$deb" "$b"
    echo "$name: files that differ in $deb:" >&2
    diff -rq --no-dereference "$a" "$b" | sed "s|$unpacked/||g" >&2 || true
    diff <(dpkg-deb -c "$first/$deb") <(dpkg-deb -c "$second/$deb") >&2 || true
    if command -v diffoscope >/dev/null; then
        diffoscope --text - "$first/$deb" "$second/$deb" 2>&1 | head -n 300 >&2 || true
    else
        echo "$name: (diffoscope is not installed; it would show how they differ)" >&2
    fi
}

differing=()
for deb in $(packages "$first"); do
    cmp -s "$first/$deb" "$second/$deb" || { explain "$deb"; differing+=("$deb"); }
done
[ ${#differing[@]} = 0 ] || fail "the two builds differ in ${differing[*]}"
ok "both builds made byte-identical packages: $(packages "$first" | tr '\n' ' ')"

# dpkg-deb puts the members in name order, the symbolic links after the rest.
for deb in $(packages "$first"); do
    listing=$(dpkg-deb --fsys-tarfile "$first/$deb" | tar -tv)
    for kind in '^[^l]' '^l'; do
        grep "$kind" <<<"$listing" | awk '{print $6}' | LC_ALL=C sort -c 2>/dev/null ||
            fail "the members of $deb are not in name order:
$listing"
    done
done
ok "archive members in name order"

# The build folder is named nowhere: not in programs, debug information,
# manual pages or control files.
mkdir "$unpacked/check"
for deb in $(packages "$first"); do
    dpkg-deb -R "$first/$deb" "$unpacked/check/$deb"
done
found=$(grep -rlF -e "$first" -e "$second" "$unpacked/check" || true)
[ -z "$found" ] || fail "files that name the build folder: ${found//$unpacked\/check\//}"
ok "no file names the build folder"
