#!/usr/bin/env bash
# Runs the packages' own test (debian/tests) with autopkgtest on this
# machine, as Debian's CI would on a throwaway one, against the packages
# `make package` just built: the .changes names the source package (whose
# debian/tests holds the test) and the .debs to install. The null runner
# installs them here, so it needs root, and they are purged afterwards.
#   tests/package/autopkgtest.sh <package output folder>
set -euo pipefail
build=$(realpath "${1:?usage: $0 <package output folder>}")
name=autopkgtest

fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}

changes=$(ls "$build"/mossvane_*.changes 2>/dev/null | head -n 1)
[ -n "$changes" ] || fail "no .changes in $build (make package makes it)"
command -v autopkgtest >/dev/null || fail "autopkgtest is missing (scripts/setup installs it)"
if [ "$(id -u)" != 0 ]; then
    echo "$name: SKIPPED: the null runner installs the packages on this machine, which needs root"
    exit 0
fi
packages=(mossvane libmossvane-client0 libmossvane-client-dev mossvane-dbgsym libmossvane-client0-dbgsym)
if dpkg-query -W -f='${Status}' mossvane 2>/dev/null | grep -q 'install ok installed'; then
    echo "$name: SKIPPED: mossvane is installed on this machine; the test won't replace it"
    exit 0
fi

output=$(mktemp -d)
cleanup() {
    dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
    rm -rf "$output"
}
trap cleanup EXIT

status=0
autopkgtest --output-dir "$output/results" "$changes" -- null >"$output/log" 2>&1 || status=$?
# autopkgtest's summary: one line per test with its verdict.
summary=$(cat "$output/results/summary" 2>/dev/null || true)
if [ "$status" != 0 ] || ! grep -q ' PASS' <<<"$summary" || grep -qv ' PASS' <<<"$summary"; then
    cat "$output/log" >&2
    fail "autopkgtest exited with status $status:
${summary:-(no summary)}"
fi
grep '^socket-activation: ' "$output/log" || true
echo "$name: ok: debian/tests passes on the packages of $(basename "$changes"):
$summary"
