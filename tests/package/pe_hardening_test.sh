#!/usr/bin/env bash
# Checks the hardening of the Windows executables the installer ships, from
# the release build: ASLR with a high-entropy address space and DEP from their
# PE headers, and the stack protector from the symbols of the programs before
# their debug information was split off.
#   tests/package/pe_hardening_test.sh <windows release build folder>
set -euo pipefail
build=${1:?usage: $0 <windows release build folder>}
name=pe_hardening_test
here=$(dirname "$(realpath "$0")")

fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}

shipped=("$build"/installer-stage/bin/*.exe)
[ -e "${shipped[0]}" ] || fail "no staged executables in $build (make package makes them)"
python3 "$here/pe_hardening.py" "${shipped[@]}" || fail "an executable lacks ASLR or DEP"

for exe in "${shipped[@]}"; do
    built=$build/bin/$(basename "$exe")
    [ -f "$built" ] || fail "$built is missing"
    # The whole listing first: grep -q would end the pipe early under pipefail.
    symbols=$(x86_64-w64-mingw32-nm "$built")
    grep -q ' __stack_chk_fail$' <<<"$symbols" ||
        fail "$(basename "$exe") was built without the stack protector"
    echo "$name: ok: $(basename "$exe") uses the stack protector"
done
