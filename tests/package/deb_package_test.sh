#!/usr/bin/env bash
# Checks the source and binary packages `make package` made with lintian (no error,
# no warning but the overridden ones) and its programs with hardening-check;
# then installs them, checks where their files went, drives the installed
# programs in a private sandbox (a request, a job, a stop by SIGTERM) and
# removes the packages again. Installing needs root (or sudo without a
# password); without either that part is skipped.
#   tests/package/deb_package_test.sh <package output folder>
set -euo pipefail
# Absolute, as the checks below change the working folder.
build=$(realpath "${1:?usage: $0 <package output folder>}")
name=deb_package_test
source_root=$(realpath "$(dirname "$0")/../..")
here=$(dirname "$(realpath "$0")")

fail() {
    echo "$name: FAIL: $*" >&2
    exit 1
}
ok() { echo "$name: ok: $*"; }

# Polls a condition (a shell command) every 0.1 s for up to $1 seconds.
wait_until() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ! "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

deb=$(ls "$build"/mossvane_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no package in $build (make package makes it)"

# --- Lint and hardening ------------------------------------------------------
command -v lintian >/dev/null || fail "lintian is missing (scripts/setup installs it)"
command -v hardening-check >/dev/null || fail "hardening-check is missing (Debian: devscripts)"
changes=$(ls "$build"/mossvane_*.changes 2>/dev/null | head -n 1)
[ -n "$changes" ] || fail "no .changes in $build (make package makes it)"
# One run over the source and every binary package (-dbgsym too). Overridden
# tags don't count (each override says why); the informational and pedantic
# ones are shown, and were read. (lintian 2.116 fails with --show-overrides
# on an overridden warning, so the levels are read from its output.)
lint=$(lintian --fail-on none -I --pedantic --show-overrides --tag-display-limit 0 "$changes" 2>&1) ||
    fail "lintian could not check $(basename "$changes"): $lint"
! grep -E '^(E|W):' <<<"$lint" || fail "lintian finds fault with the packages (above)"
ok "lintian: no error, no warning in $(basename "$changes") and the packages it lists; overridden:
$(grep '^O:' <<<"$lint" || echo '(none)')
informational and pedantic, read:
$(grep -E '^(I|P):' <<<"$lint" || echo '(none)')"

# The programs are compiled with -fcf-protection, but a program is marked
# for control-flow protection only when everything linked in is, the C
# library's start files too, and Debian 12's are not. Where they are,
# hardening-check's check counts.
skip_cfi=()
start_file=$(gcc -print-file-name=Scrt1.o)
if ! readelf -n "$start_file" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK'; then
    skip_cfi=(--nocfprotection)
    echo "$name: note: $start_file lacks control-flow protection; hardening-check skips that check"
fi
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
checked=0
while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    relative=${file#"$unpacked"/}
    skip=($(sed -n "s|^$relative \(--[a-z]*\) *#.*|\1|p" "$here/hardening-check-overrides"))
    report=$(hardening-check "${skip_cfi[@]}" "${skip[@]}" "$file" 2>&1) ||
        { rm -rf "$unpacked"; fail "hardening-check finds fault with ${file#"$unpacked"}:
$report"; }
    checked=$((checked + 1))
done < <(find "$unpacked" -type f -perm /111 -print0)
rm -rf "$unpacked"
[ "$checked" -gt 0 ] || fail "no executables in $(basename "$deb")"
ok "hardening-check passes on all $checked packaged executables (overrides: $(grep -c '^usr' "$here/hardening-check-overrides"))"

if [ "$(id -u)" = 0 ]; then
    as_root() { "$@"; }
elif sudo -n true 2>/dev/null; then
    as_root() { sudo -n "$@"; }
else
    echo "$name: SKIPPED: installing a package needs root"
    exit 0
fi
dbgsym=$(ls "$build"/mossvane-dbgsym_*.deb 2>/dev/null | head -n 1)
if dpkg-query -W -f='${Status}' mossvane 2>/dev/null | grep -q 'install ok installed'; then
    echo "$name: SKIPPED: mossvane is installed on this machine; the test won't replace it"
    exit 0
fi

sandbox=$(mktemp -d)
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then kill -KILL "$server_pid" 2>/dev/null || true; fi
    as_root dpkg --purge libmossvane-client-dev libmossvane-client0 mossvane >/dev/null 2>&1 || true
    rm -rf "$sandbox"
}
trap cleanup EXIT

# --- Install ---------------------------------------------------------------
if ! as_root apt-get install -y -q --no-install-recommends "$(realpath "$deb")" >"$sandbox/apt.log" 2>&1; then
    cat "$sandbox/apt.log" >&2
    fail "apt-get could not install $deb"
fi
ok "installed $(basename "$deb") ($(stat -c %s "$deb") bytes)"

lib=/usr/lib/mossvane
for file in $lib/mossvane $lib/mossvane-dialog $lib/mossvane-send $lib/localization.xml \
    /usr/lib/systemd/user/mossvane.socket /usr/lib/systemd/user/mossvane.service \
    /usr/share/man/man1/mossvane.1.gz /usr/share/man/man1/mossvane-send.1.gz \
    /usr/share/man/man8/mossvane-backend.8.gz; do
    [ -f "$file" ] || fail "$file is missing"
done
for program in mossvane mossvane-send; do
    [ "$(readlink /usr/bin/$program)" = "../lib/mossvane/$program" ] ||
        fail "/usr/bin/$program is not a link to $lib/$program"
done
backend=/usr/lib/cups/backend/mossvane
[ "$(stat -c '%a %U' "$backend" 2>/dev/null)" = "700 root" ] ||
    fail "$backend is missing or not root's with mode 0700 (CUPS would not run it as root)"
ok "install layout"

[ -n "$dbgsym" ] || fail "no -dbgsym package beside $deb"
debug_files=$(dpkg-deb -c "$dbgsym")
for program in mossvane mossvane-dialog mossvane-send; do
    if readelf -S "$lib/$program" | grep -q '\.debug_info'; then
        fail "$program carries its debug information"
    fi
    readelf -S "$lib/$program" | grep -q '\.symtab' && fail "$program is not stripped"
    build_id=$(readelf -n "$lib/$program" | sed -n 's/.*Build ID: *//p')
    [ -n "$build_id" ] || fail "$program has no build id"
    grep -q "usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug" <<<"$debug_files" ||
        fail "the -dbgsym package holds no debug information for $program"
done
ok "stripped programs, debug information in $(basename "$dbgsym") ($(stat -c %s "$dbgsym") bytes)"

depends=$(dpkg-query -W -f='${Depends}' mossvane)
for library in libc6 libgtk-3-0 libsystemd0 libtinyxml2; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
ok "Depends: $depends"

grep -qx "ExecStart=$lib/mossvane" /usr/lib/systemd/user/mossvane.service ||
    fail "the service does not start $lib/mossvane"
grep -qx 'ListenStream=%t/Mossvane_%u' /usr/lib/systemd/user/mossvane.socket ||
    fail "the socket unit listens elsewhere"
if command -v systemctl >/dev/null; then
    [ -L /etc/systemd/user/sockets.target.wants/mossvane.socket ] ||
        fail "the socket unit is not enabled for the users"
fi
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify /usr/lib/systemd/user/mossvane.socket \
        /usr/lib/systemd/user/mossvane.service >"$sandbox/verify.log" 2>&1 ||
        fail "systemd finds fault with the units: $(cat "$sandbox/verify.log")"
fi
ok "user units"

warnings=$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/mossvane.1.gz 2>&1 >/dev/null)
warnings+=$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/mossvane-send.1.gz 2>&1 >/dev/null)
warnings+=$(MANWIDTH=80 man --warnings -l /usr/share/man/man8/mossvane-backend.8.gz 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual pages have faults: $warnings"
ok "manual pages"

# --- Run the installed programs in a sandbox -------------------------------
export XDG_RUNTIME_DIR=$sandbox/run XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data
export MOSSVANE_MACHINE_REG=$sandbox/machine.reg
unset DISPLAY WAYLAND_DISPLAY
mkdir -m 0700 "$XDG_RUNTIME_DIR"
socket=$XDG_RUNTIME_DIR/Mossvane_$(id -un)
cd "$sandbox"

# Started through its link in bin: it must find its companions beside the real file.
mossvane >server.out 2>server.debug &
server_pid=$!
wait_until 30 test -S "$socket" || fail "the server made no socket: $(cat server.debug)"

answer=$(mossvane-send getinfo) || fail "getinfo failed: $(cat server.debug)"
grep -q 'RETURN=CANCEL' <<<"$answer" || fail "getinfo without a display answered: $answer"
ok "GETINFO without a display is cancelled"

printf 'page one\f' >page.prn
mossvane-send job --number 7 --info user=alice --add-uel page.prn ||
    fail "the job was not taken: $(cat server.debug)"
has_job_files() {
    [ -n "$(find "$XDG_DATA_HOME" -name '*0007.prn')" ] &&
        [ -n "$(find "$XDG_DATA_HOME" -name '*0007.info')" ]
}
wait_until 30 has_job_files || fail "no .prn with .info below $XDG_DATA_HOME: $(cat server.debug)"
grep -q '<user>alice</user>' "$(find "$XDG_DATA_HOME" -name '*0007.info')" ||
    fail "the .info file lacks the job information"
ok "a job leaves its .prn and .info files"

kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" = 0 ] || fail "the server ended with status $status after SIGTERM"
[ ! -e "$socket" ] || fail "the server left its socket file behind"
ok "SIGTERM ends the server cleanly"

# The client library and what building against it needs, as two packages.
library_debs=$(ls "$build"/libmossvane-client0_*.deb "$build"/libmossvane-client-dev_*.deb 2>/dev/null) ||
    fail "no libmossvane-client0 or libmossvane-client-dev package in $build"
# shellcheck disable=SC2046
if ! as_root apt-get install -y -q --no-install-recommends $(realpath $library_debs) \
    >"$sandbox/apt-lib.log" 2>&1; then
    cat "$sandbox/apt-lib.log" >&2
    fail "apt-get could not install the client library packages"
fi
library=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libmossvane-client.so.0
dpkg -L libmossvane-client0 | grep -qx "$library" ||
    fail "libmossvane-client0 lacks $library"
dpkg -L libmossvane-client0 | grep -q 'include\|pkgconfig\|\.so$' &&
    fail "libmossvane-client0 holds development files"
readelf -d "$library" | grep -q 'SONAME.*\[libmossvane-client.so.0\]' ||
    fail "the library's soname is not libmossvane-client.so.0"
exported=$(nm -D --defined-only "$library" | awk '$3 !~ /^mossvane_|^MOSSVANE_CLIENT_0$/')
[ -z "$exported" ] || fail "the library exports more than its API: $exported"
cc -std=c11 -Wall -Werror -o client_example "$source_root/examples/send_with_number.c" \
    $(pkg-config --cflags --libs mossvane-client) || fail "the example does not build against the package"
# Every manual page of the API the development package holds.
api_pages=$(dpkg -L libmossvane-client-dev | grep '^/usr/share/man/man3/.*\.3\.gz$' || true)
[ -n "$api_pages" ] || fail "the API's manual pages are missing"
for page in $api_pages; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the API's manual page $page has faults: $warnings"
done
ok "client library packages: soname, exports, pkg-config, manual pages"

# A display that does not answer: the dialog helper beside the real program
# runs, says so, and the request is cancelled.
display=99
while [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
DISPLAY=:$display mossvane >server2.out 2>server2.debug &
server_pid=$!
wait_until 30 test -S "$socket" || fail "the server made no socket: $(cat server2.debug)"
answer=$(mossvane-send getinfo) || fail "getinfo failed: $(cat server2.debug)"
grep -q 'RETURN=CANCEL' <<<"$answer" || fail "getinfo without a working display answered: $answer"
grep -q "mossvane-dialog: cannot open a display: DISPLAY \":$display\"" server2.debug ||
    fail "the dialog helper beside the program did not run: $(cat server2.debug)"
./client_example page.prn >client.out 2>&1 && fail "the example sent a job without a number"
grep -q 'the user gave no identification number' client.out ||
    fail "the example did not reach the server: $(cat client.out)"
kill -TERM "$server_pid"
wait "$server_pid" || true
server_pid=""
ok "the installed server runs its dialog helper; the example built against the packages reaches it"
cd /

# --- Remove ----------------------------------------------------------------
as_root apt-get purge -y -q libmossvane-client-dev libmossvane-client0 mossvane \
    >"$sandbox/purge.log" 2>&1 || fail "apt-get could not remove the packages"
for path in $lib /usr/bin/mossvane /usr/bin/mossvane-send /usr/lib/systemd/user/mossvane.socket \
    /etc/systemd/user/sockets.target.wants/mossvane.socket /etc/systemd/user/mossvane.socket; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is still there after the removal"
done
ok "removed"
