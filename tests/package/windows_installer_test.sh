#!/usr/bin/env bash
# Runs the Windows installer that `make package` made, silently, in a fresh
# Wine prefix; checks the program folder, the programs' version resources and
# the machine settings the install verb wrote; then runs the uninstaller and
# checks what it leaves.
#   tests/package/windows_installer_test.sh <windows release build folder>
set -euo pipefail
build=${1:?usage: $0 <windows release build folder>}
name=windows_installer_test
here=$(dirname "$(realpath "$0")")

fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}
ok() { echo "$name: ok: $*"; }

setup=$(ls "$build"/mossvane-*-setup.exe 2>/dev/null | head -n 1)
[ -n "$setup" ] || fail "no installer in $build (make package makes it)"
version=$(basename "$setup" | sed 's/^mossvane-\(.*\)-setup\.exe$/\1/')
setup=$(realpath "$setup")

sandbox=$(mktemp -d)
export WINEPREFIX=$sandbox/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$sandbox"
}
trap cleanup EXIT

# Wine writes its registry files when the last process of the prefix ends.
settle() { wineserver -w; }

wineboot -i >/dev/null 2>&1 || true
settle

program_folder="$WINEPREFIX/drive_c/Program Files/Mossvane"
plugin_section='[Software\\Varnock\\Varnock Printer Driver Plug In]'
uninstall_section='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mossvane]'

# Prints the lines of one section of a Wine registry file (the name comes
# through the environment: awk -v would take its backslashes as escapes).
section() {
    WANT=$2 awk '
        /^\[/ { inside = (index($0, ENVIRON["WANT"]) == 1) ; next }
        inside && NF { print }' "$1"
}

# --- Install ---------------------------------------------------------------
wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer failed"
settle
for file in mossvane.exe mossvane-send.exe localization.xml settings.xml uninstall.exe; do
    [ -f "$program_folder/$file" ] || fail "$file is not in the program folder"
done
ok "installed $(basename "$setup") ($(stat -c %s "$setup") bytes)"

for program in mossvane mossvane-send; do
    exe=$program_folder/$program.exe
    found=$(python3 "$here/file_version.py" "$exe") || fail "$program.exe has no version resource"
    [ "$found" = "$version" ] || fail "$program.exe says version $found, the installer $version"
    headers=$(x86_64-w64-mingw32-objdump -h "$exe")
    grep -q '\.debug_info' <<<"$headers" && fail "$program.exe carries its debug information"
    grep -q '\.gnu_debuglink' <<<"$headers" || fail "$program.exe does not name its debug file"
done
ok "version resources ($version), stripped programs"

machine=$(section "$WINEPREFIX/system.reg" "$plugin_section")
grep -qF '"DevmodeList"="PaperSize\nOrientation\nCopies\nCollate\nDuplex\nColor"' <<<"$machine" ||
    fail "DevmodeList was not installed: $machine"
grep -qF '"DevmodeListForEndDoc"="Copies\nDuplex"' <<<"$machine" ||
    fail "DevmodeListForEndDoc was not installed: $machine"
grep -q '"PhoneNumberList"' <<<"$machine" && fail "the empty PhoneNumberList was written"
section "$WINEPREFIX/system.reg" "$uninstall_section" | grep -q '"UninstallString"' ||
    fail "no entry among the installed programs"
ok "the install verb wrote the default lists"

# --- Uninstall -------------------------------------------------------------
# A value of the driver's own must survive; the user's key must go.
wine reg add 'HKLM\Software\Varnock\Varnock Printer Driver Plug In' /v CntCode /d KR /f \
    >/dev/null 2>&1 || fail "could not add a value of the driver's"
wine reg add 'HKCU\Software\Varnock\Varnock Printer Driver Plug In' /v PrintFolderPath \
    /d 'C:\jobs' /f >/dev/null 2>&1 || fail "could not add a user value"
settle
grep -qF "$plugin_section" "$WINEPREFIX/user.reg" || fail "the user's settings key was not made"

# The uninstaller copies itself away and runs from there; settle waits for it.
wine "$program_folder/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
settle
[ ! -e "$program_folder" ] || fail "the program folder is still there: $(ls "$program_folder")"
machine=$(section "$WINEPREFIX/system.reg" "$plugin_section")
grep -q 'DevmodeList' <<<"$machine" && fail "the default lists are still there: $machine"
grep -qF '"CntCode"="KR"' <<<"$machine" || fail "the driver's own value went too: $machine"
grep -qF "$plugin_section" "$WINEPREFIX/user.reg" && fail "the user's settings key is still there"
section "$WINEPREFIX/system.reg" "$uninstall_section" | grep -q . &&
    fail "the entry among the installed programs is still there"
ok "the uninstaller removed the files, the lists and the user's key"

# --- A folder of one's own choice (/D=) ------------------------------------
# Outside program files the installer makes the folder itself and lets only
# administrators and the system change it. Wine's icacls changes nothing, so
# only which folders are taken can be checked here.
own_folder="$WINEPREFIX/drive_c/Own Folder"
wine "$setup" /S '/D=C:\Own Folder' </dev/null >/dev/null 2>&1 || fail "install into a new folder failed"
settle
[ -f "$own_folder/mossvane.exe" ] || fail "nothing was installed into a new folder of one's choice"
wine "$setup" /S '/D=C:\Own Folder' </dev/null >/dev/null 2>&1 || fail "installing again failed"
settle
ok "a new folder of one's choice, and installing there again"

taken_folder="$WINEPREFIX/drive_c/Taken"
mkdir -p "$taken_folder"
echo "not ours" >"$taken_folder/lotrasx.dll"
wine "$setup" /S '/D=C:\Taken' </dev/null >/dev/null 2>&1 && fail "a folder holding other files was taken"
settle
[ "$(ls "$taken_folder")" = lotrasx.dll ] || fail "the installer wrote into a folder of other files"
ok "a folder that holds other files is refused and left as it was"
