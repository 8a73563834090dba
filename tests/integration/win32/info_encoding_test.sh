#!/usr/bin/env bash
# The Windows server, under Wine's Western code page (1252), stores a job
# whose information holds non-ASCII text; strict XML readers on the Linux
# side (libxml2's xmllint, Python's expat) must read the .info it wrote and
# find the text as it was sent, while the bytes stay in the code page.
#   info_encoding_test.sh <mossvane.exe> <mossvane-send.exe>
# Runs in the Wine prefix of the test run (WINEPREFIX), one test at a time.
set -euo pipefail
server_program=${1:?usage: $0 <mossvane.exe> <mossvane-send.exe>}
send_program=${2:?usage: $0 <mossvane.exe> <mossvane-send.exe>}
name=info_encoding_test
fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}

user_key='HKCU\Software\Varnock\Varnock Printer Driver Plug In'
folder=$(mktemp -d)
key_existed=0
wine reg query "$user_key" >/dev/null 2>&1 && key_existed=1
server=
cleanup() {
    [ -n "$server" ] && { wine "$server_program" /Exit </dev/null >/dev/null 2>&1 || true; }
    [ -n "$server" ] && { wait "$server" 2>/dev/null || true; }
    if [ "$key_existed" = 1 ]; then
        wine reg delete "$user_key" /v PrintFolderPath /f >/dev/null 2>&1 || true
    else
        wine reg delete "$user_key" /f >/dev/null 2>&1 || true
    fi
    rm -rf "$folder"
}
trap cleanup EXIT

wine reg add "$user_key" /v PrintFolderPath /d "$(winepath -w "$folder")" /f >/dev/null 2>&1 ||
    fail "could not point the jobs at $folder"
wine "$server_program" </dev/null >/dev/null 2>&1 &
server=$!

title='Überweisung für Müller'
printf 'print data' >"$folder/data"
sent=1
for _ in $(seq 50); do
    status=0
    wine "$send_program" job --number 7 --info "Title=$title" --add-uel "$(winepath -w "$folder/data")" \
        </dev/null >/dev/null 2>&1 || status=$?
    [ "$status" = 2 ] || { sent=$status; break; }  # 2: no server yet
    sleep 0.2
done
[ "$sent" = 0 ] || fail "the job was not sent (exit code $sent)"

info=$(ls "$folder"/*.info 2>/dev/null | head -n 1)
[ -n "$info" ] || fail "no .info was written: $(ls "$folder")"

# Byte level: the text is in code page 1252, as it always was.
grep -q $'\xDC''berweisung' "$info" || fail "the text is not in code page 1252: $(od -c "$info")"
head -n 1 "$info" | grep -q 'encoding="windows-1252"' ||
    fail "the declaration does not name code page 1252: $(head -n 1 "$info")"

# Strict readers decode it to the text that was sent.
read_by_libxml2=$(xmllint --noout --encode UTF-8 --xpath 'string(/JobInfo/Title)' "$info" 2>&1) ||
    fail "libxml2 refuses the .info: $read_by_libxml2"
[ "$read_by_libxml2" = "$title" ] || fail "libxml2 reads \"$read_by_libxml2\", not \"$title\""
read_by_expat=$(python3 -c 'import sys, xml.etree.ElementTree as e
print(e.parse(sys.argv[1]).getroot().findtext("Title"))' "$info" 2>&1) ||
    fail "expat refuses the .info: $read_by_expat"
[ "$read_by_expat" = "$title" ] || fail "expat reads \"$read_by_expat\", not \"$title\""
echo "$name: ok: strict readers read \"$title\" from $(basename "$info")"
