#!/usr/bin/env bash
# Checks that two builds of one tree (scripts/build-deb, in two folders at two
# times) made byte-identical packages, members in name order, no file naming
# the build folder; on a difference it names the package and its files that
# differ (with diffoscope's report where installed).
#   tests/package/reproducible_test.sh <first output folder> <second output folder>
set -euo pipefail
first=$(realpath "${1:?usage: $0 <first output folder> <second output folder>}")
second=$(realpath "${2:?usage: $0 <first output folder> <second output folder>}")
fail() {
    echo "reproducible_test: FAIL: $*" >&2
    exit 1
}
ok() { echo "reproducible_test: ok: $*"; }

debs=$(cd "$first" && ls -- *.deb 2>/dev/null) || fail "no packages in $first (scripts/build-deb makes them)"
[ "$debs" = "$(cd "$second" && ls -- *.deb 2>/dev/null)" ] || fail "the two builds made different packages"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
for deb in $debs; do
    dpkg-deb -R "$first/$deb" "$unpacked/$deb"
    cmp -s "$first/$deb" "$second/$deb" && continue
    dpkg-deb -R "$second/$deb" "$unpacked/second-$deb"
    echo "files that differ in $deb:" >&2
    (cd "$unpacked" && diff -rq --no-dereference "$deb" "second-$deb") >&2 || true
    diff <(dpkg-deb -c "$first/$deb") <(dpkg-deb -c "$second/$deb") >&2 || true
    ! command -v diffoscope >/dev/null ||
        diffoscope --text - "$first/$deb" "$second/$deb" 2>&1 | head -n 300 >&2 || true
    fail "the two builds differ in $deb"
done
ok "both builds made byte-identical packages: ${debs//$'\n'/ }"

# dpkg-deb puts the members in name order, the symbolic links after the rest.
for deb in $debs; do
    listing=$(dpkg-deb --fsys-tarfile "$first/$deb" | tar -tv)
    for kind in '^[^l]' '^l'; do
        grep "$kind" <<<"$listing" | awk '{print $6}' | LC_ALL=C sort -c 2>/dev/null ||
            fail "the members of $deb are not in name order: $listing"
    done
done
ok "archive members in name order"
found=$(grep -rlF -e "$first" -e "$second" "$unpacked" || true)
[ -z "$found" ] || fail "files that name the build folder: ${found//$unpacked\//}"
ok "no file names the build folder (programs, debug information, control files)"
