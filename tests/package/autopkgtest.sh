#!/usr/bin/env bash
# Runs the packages' own test (debian/tests) with autopkgtest's null runner on
# the packages `make package` just built, named by the .changes, as Debian's
# CI does on a throwaway machine: it installs them here, so it needs root;
# they are purged afterwards.
#   tests/package/autopkgtest.sh <package output folder>
set -euo pipefail
build=$(realpath "${1:?usage: $0 <package output folder>}")
fail() {
    echo "autopkgtest: FAIL: $*" >&2
    exit 1
}

changes=$(ls "$build"/mossvane_*.changes 2>/dev/null | head -n 1)
[ -n "$changes" ] || fail "no .changes in $build (make package makes it)"
command -v autopkgtest >/dev/null || fail "autopkgtest is missing (scripts/setup installs it)"
if [ "$(id -u)" != 0 ] || dpkg-query -W -f='${Status}' mossvane 2>/dev/null | grep -q 'ok installed'; then
    echo "autopkgtest: SKIPPED: needs root, and a machine where mossvane is not installed"
    exit 0
fi
output=$(mktemp -d)
packages="libmossvane-client-dev libmossvane-client0-dbgsym libmossvane-client0 mossvane-dbgsym mossvane"
trap 'dpkg --purge $packages >/dev/null 2>&1 || true; rm -rf "$output"' EXIT

status=0
autopkgtest --output-dir "$output/results" "$changes" -- null >"$output/log" 2>&1 || status=$?
summary=$(cat "$output/results/summary" 2>/dev/null || true)
if [ "$status" != 0 ] || [ -z "$summary" ] || grep -qv ' PASS' <<<"$summary"; then
    cat "$output/log" >&2
    fail "autopkgtest exited with status $status: ${summary:-no summary}"
fi
grep '^socket-activation: ' "$output/log" || true
echo "autopkgtest: ok: $summary"
