#!/usr/bin/env bash
# Runs the Windows installer that `make package` made, silently, in a fresh
# Wine prefix, as administrators deploy it: a first install, a reinstall over
# an administrator's list, upgrades over running programs, the uninstall
# entry's quiet command, a custom folder kept across upgrades, and which
# folders of one's choice the installer takes. Checks the
# program folder, the programs' version resources and manifests, the
# registry, and what the uninstaller leaves.
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

# Runs the installer silently with the given arguments; it must succeed.
# The command line goes through cmd as an administrator types it: Wine would
# quote an argument holding a space, and the installer takes /D= only
# unquoted, as the last argument.
install() {
    local status=0 batch=$sandbox/install.bat
    printf '@"%s" /S %s\r\n@exit %%errorlevel%%\r\n' "$(winepath -w "$setup")" "$*" >"$batch"
    wine cmd /c "$(winepath -w "$batch")" </dev/null >/dev/null 2>&1 || status=$?
    [ "$status" = 0 ] || fail "the installer $* failed with exit code $status"
    settle
}

# --- Install ---------------------------------------------------------------
install
for file in mossvane.exe mossvane-send.exe mossvane-client.dll localization.xml settings.xml \
    uninstall.exe sdk/include/mossvane/client.h sdk/lib/libmossvane-client.dll.a; do
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

problems=$(python3 "$here/check_manifest.py" "$program_folder/mossvane.exe" \
    "$program_folder/mossvane-send.exe") || fail "the programs' manifests: $problems"
problems=$(python3 "$here/check_manifest.py" --dpi-aware "$setup") ||
    fail "the setup program's manifest: $problems"
ok "manifests: DPI aware programs for Windows 7 to 11, run as invoked; DPI aware setup"

machine=$(section "$WINEPREFIX/system.reg" "$plugin_section")
grep -qF '"DevmodeList"="PaperSize\nOrientation\nCopies\nCollate\nDuplex\nColor"' <<<"$machine" ||
    fail "DevmodeList was not installed: $machine"
grep -qF '"DevmodeListForEndDoc"="Copies\nDuplex"' <<<"$machine" ||
    fail "DevmodeListForEndDoc was not installed: $machine"
grep -q '"PhoneNumberList"' <<<"$machine" && fail "the empty PhoneNumberList was written"
section "$WINEPREFIX/system.reg" "$uninstall_section" | grep -q '"UninstallString"' ||
    fail "no entry among the installed programs"
ok "the install verb wrote the default lists"

# --- Uninstall entry -------------------------------------------------------
entry=$(section "$WINEPREFIX/system.reg" "$uninstall_section")
for value in DisplayIcon EstimatedSize Publisher QuietUninstallString; do
    grep -q "^\"$value\"=" <<<"$entry" || fail "the uninstall entry has no $value: $entry"
done
# The project has no web page: the entry names none rather than a made-up one.
grep -q '^"URLInfoAbout"=' <<<"$entry" && fail "the uninstall entry names a web page: $entry"
grep -qF '"DisplayIcon"="C:\\Program Files\\Mossvane\\mossvane.exe,0"' <<<"$entry" ||
    fail "DisplayIcon does not name the program: $entry"
grep -q '^"EstimatedSize"=dword:0*[1-9a-f]' <<<"$entry" || fail "EstimatedSize is 0: $entry"
ok "the uninstall entry names icon, size and publisher, and no web page"

# --- An administrator's list survives a reinstall --------------------------
plugin_key='HKLM\Software\Varnock\Varnock Printer Driver Plug In'
wine reg add "$plugin_key" /v DevmodeList /d 'Set by the administrator' /f >/dev/null 2>&1 ||
    fail "could not set an administrator's list"
wine reg delete "$plugin_key" /v DevmodeListForEndDoc /f >/dev/null 2>&1 ||
    fail "could not remove a list"
settle
install
machine=$(section "$WINEPREFIX/system.reg" "$plugin_section")
grep -qF '"DevmodeList"="Set by the administrator"' <<<"$machine" ||
    fail "the reinstall overwrote the administrator's list: $machine"
grep -qF '"DevmodeListForEndDoc"="Copies\nDuplex"' <<<"$machine" ||
    fail "the reinstall did not restore a missing list: $machine"
ok "a reinstall keeps the administrator's list and fills in a missing one"

# --- Upgrade over a running server ------------------------------------------
# The installed program gets a tail of its own (a program runs with extra
# bytes at its end), so the test can tell the old copy from the new one.
staged=$build/installer-stage/bin
mark_old() { printf 'old copy' >>"$1"; }
is_new() { cmp -s "$1" "$staged/$(basename "$1")"; }

# Starts this user's server from the program folder and waits until it answers.
start_server() {
    wine "$1/mossvane.exe" </dev/null >/dev/null 2>&1 &
    server=$!
    for _ in $(seq 100); do
        wine "$1/mossvane-send.exe" request '@=OpenUI' </dev/null >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    fail "the server did not start"
}

mark_old "$program_folder/mossvane.exe"
start_server "$program_folder"
install
is_new "$program_folder/mossvane.exe" || fail "the upgrade left the running server's old program"
wait "$server" || true
ok "an upgrade ends the user's running server and replaces its program"

# A program that the Exit verb can't end (as another user's would be): the
# upgrade finishes, replaces it at the next restart and says so.
mark_old "$program_folder/mossvane-send.exe"
start_server "$program_folder"
mkfifo "$sandbox/job-data"
wine "$program_folder/mossvane-send.exe" job - <"$sandbox/job-data" >/dev/null 2>&1 &
sender=$!
exec 3>"$sandbox/job-data"
install_status=0
wine "$setup" /S </dev/null >/dev/null 2>&1 || install_status=$?
exec 3>&-
wait "$sender" || true
wait "$server" || true
settle
# Wine hands a Unix parent only the low 8 bits of the exit code.
[ "$install_status" = $((3010 % 256)) ] ||
    fail "a program in use gave exit code $install_status, not 3010 (194 under Wine)"
grep -q 'PendingFileRenameOperations' "$WINEPREFIX/system.reg" ||
    fail "no replacement is waiting for the restart"
is_new "$program_folder/mossvane.exe" || fail "the server's program was not replaced"
wineboot -r >/dev/null 2>&1 || true
settle
is_new "$program_folder/mossvane-send.exe" || fail "the restart did not replace the program in use"
[ ! -e "$program_folder/mossvane-send.exe.new" ] || fail "the new copy is still waiting"
ok "a program in use is replaced at the restart, with exit code 3010"

# --- Uninstall -------------------------------------------------------------
# Runs the uninstall entry's quiet command as a deployment tool does, with
# extra options put before its _?= (which takes the rest of the line).
quiet_uninstall() {
    local command
    command=$(section "$WINEPREFIX/system.reg" "$uninstall_section" |
        sed -n 's/^"QuietUninstallString"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g; s/\\"/"/g')
    [ -n "$command" ] || fail "no quiet uninstall command"
    # "<uninstaller>" /S _?=<folder>
    local program=${command#\"}
    program=${program%%\"*}
    # Split at spaces without globbing "_?=": the uninstaller reads the
    # folder after _?= to the end of its command line, spaces included.
    local arguments
    read -r -a arguments <<<"${command#*\" }"
    local options=() rest=() argument
    for argument in "${arguments[@]}"; do
        if [ ${#rest[@]} -gt 0 ] || [[ $argument == _\?=* ]]; then
            rest+=("$argument")
        else
            options+=("$argument")
        fi
    done
    wine "$program" "${options[@]}" "$@" "${rest[@]}" </dev/null >/dev/null 2>&1
}

# A value of the driver's own must survive; the user's key must go, and the
# user's jobs stay.
wine reg add 'HKLM\Software\Varnock\Varnock Printer Driver Plug In' /v CntCode /d KR /f \
    >/dev/null 2>&1 || fail "could not add a value of the driver's"
wine reg add 'HKCU\Software\Varnock\Varnock Printer Driver Plug In' /v PrintFolderPath \
    /d 'C:\jobs' /f >/dev/null 2>&1 || fail "could not add a user value"
settle
grep -qF "$plugin_section" "$WINEPREFIX/user.reg" || fail "the user's settings key was not made"
job_folder=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | head -n 1)/VARNOCK/PlugInPrnData
mkdir -p "$job_folder"
echo job >"$job_folder/202612072158030012.prn"

quiet_uninstall || fail "the uninstaller failed"
# Returned means done: the programs and the entry are gone at once.
[ ! -e "$program_folder/mossvane.exe" ] || fail "the quiet uninstall returned before it was done"
settle
[ ! -e "$program_folder" ] || fail "the program folder is still there: $(ls "$program_folder")"
machine=$(section "$WINEPREFIX/system.reg" "$plugin_section")
grep -q 'DevmodeList' <<<"$machine" && fail "the default lists are still there: $machine"
grep -qF '"CntCode"="KR"' <<<"$machine" || fail "the driver's own value went too: $machine"
grep -qF '[Software\\Varnock' "$WINEPREFIX/user.reg" && fail "a per-user key is still there"
section "$WINEPREFIX/system.reg" "$uninstall_section" | grep -q . &&
    fail "the entry among the installed programs is still there"
[ -f "$job_folder/202612072158030012.prn" ] || fail "the uninstall removed the user's jobs"
ok "the uninstaller removed the files, the lists and the user's keys, and kept the jobs"

# --- A custom folder is remembered ------------------------------------------
custom_folder="$WINEPREFIX/drive_c/CustomMoss"
install '/D=C:\CustomMoss'
[ -f "$custom_folder/mossvane.exe" ] || fail "/D= did not install into its folder"
mark_old "$custom_folder/mossvane.exe"
install
is_new "$custom_folder/mossvane.exe" || fail "the upgrade did not go into the custom folder"
[ ! -e "$program_folder" ] || fail "the upgrade made a second copy in $program_folder"
ok "an upgrade goes into the folder of the installed copy"

quiet_uninstall /REMOVEDATA || fail "the uninstaller failed"
settle
[ ! -e "$custom_folder" ] || fail "the custom folder is still there"
[ ! -e "$job_folder" ] || fail "/REMOVEDATA kept the user's jobs"
ok "the uninstaller with /REMOVEDATA removed the user's jobs"

# --- A new folder of one's choice (/D=) --------------------------------------
# Outside program files the installer makes the folder itself and lets only
# administrators and the system change it. Wine's icacls changes nothing, so
# only which folders are taken can be checked here.
own_folder="$WINEPREFIX/drive_c/Own Folder"
install '/D=C:\Own Folder'
[ -f "$own_folder/mossvane.exe" ] || fail "nothing was installed into a new folder of one's choice"
install '/D=C:\Own Folder'
ok "a new folder of one's choice, and installing there again"

taken_folder="$WINEPREFIX/drive_c/Taken"
mkdir -p "$taken_folder"
echo "not ours" >"$taken_folder/lotrasx.dll"
status=0
wine "$setup" /S '/D=C:\Taken' </dev/null >/dev/null 2>&1 || status=$?
settle
[ "$status" = 2 ] || fail "a folder holding other files was taken (exit code $status)"
[ "$(ls "$taken_folder")" = lotrasx.dll ] || fail "the installer wrote into a folder of other files"
ok "a folder that holds other files is refused and left as it was"
