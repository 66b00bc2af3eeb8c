# Shared by the shell tests: counting checks, Wine paths, the closing line.
passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAILED: $1"; }
# expect NAME CONDITION: CONDITION (one argument) is evaluated as shell code.
# expect NAME COMMAND ARGUMENT...: the command is run; its status is the result.
# (Its own variable has a name no condition uses: conditions see the caller's.)
expect() {
    local expect_check_name=$1
    shift
    if { [ $# -eq 1 ] && eval "$1"; } || { [ $# -gt 1 ] && "$@"; }; then
        pass "$expect_check_name"
    else
        fail "$expect_check_name"
    fi
}
# wait_until SECONDS CONDITION: evaluates CONDITION every 0.1 s until it holds
# (status 0) or SECONDS have passed (status 1).
wait_until() {
    local wait_until_tries=$(($1 * 10))
    for _ in $(seq 1 "$wait_until_tries"); do eval "$2" && return 0; sleep 0.1; done
    eval "$2"
}
# own_processes PATTERN: the ids of the Windows programs of this test's Wine
# prefix (Wine shows their command lines as "C:\..." or "Z:\...") whose command
# line matches PATTERN (pgrep -f); other tests' programs, in prefixes of their
# own, and shells that merely name PATTERN do not count.
own_processes() {
    local pid
    for pid in $(pgrep -f "$1"); do
        tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qE '^"?[A-Za-z]:\\' &&
            tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}
# refusing_port FILE: writes a 127.0.0.1 port that a helper holds bound but
# never listens on (connections are refused, no other program can take it)
# until this script ends. Not in a subshell: the helper ends with its parent.
refusing_port() {
    python3 -c '
import os, socket, sys, time
held = socket.socket()
held.bind(("127.0.0.1", 0))
with open(sys.argv[1] + ".part", "w") as f: f.write(str(held.getsockname()[1]))
os.rename(sys.argv[1] + ".part", sys.argv[1])
parent = os.getppid()
while os.getppid() == parent: time.sleep(0.5)' "$1" >/dev/null 2>&1 </dev/null &
    for _ in $(seq 1 100); do [ -s "$1" ] && break; sleep 0.05; done
}
# use_dpi DPI: the screen's DPI (LogPixels) for the programs that this test's
# Wine prefix starts from now on (each reads it when it starts).
use_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 </dev/null
}
# dpi_tag DPI: what a picture's name carries for the DPI it was taken at:
# nothing at 96, "-144dpi" at 144.
dpi_tag() { [ "$1" = 96 ] || echo "-${1}dpi"; }
winpath() { echo "Z:${1//\//\\}"; }
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
# Under with-server.sh: the targets the stand-in server received, one a line,
# oldest first. A reader that stops early (grep -q) is no failure.
requests() { curl -s "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/requests" | python3 -c '
import os, sys
try:
    for line in sys.stdin:
        print(bytes.fromhex(line.split("\t")[1]).decode(errors="replace"))
    sys.stdout.flush()
except BrokenPipeError:
    os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())'; }
# sign_with_key_a IN OUT: IN signed with test key A (the key the test
# packages and offers are signed with) as OUT; needs $fixtures.
sign_with_key_a() {
    osslsigncode sign -certs "$fixtures/pki/A-chain.crt" -key "$fixtures/pki/A.key" -h sha256 \
        -in "$1" -out "$2" >/dev/null
}
# The path where the test package installs Kelvora.exe, in the current prefix.
installed_kelvora() {
    echo "$(winepath -u "$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')" 2>/dev/null)/Kelvora/Kelvora.exe"
}
# Removes the test package's product (Kelvora), if installed.
uninstall() { wine msiexec /x '{6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}' /qn >/dev/null 2>&1; }
# write_unpacking_bomb FILE: a 2.6 KB bzip2 file of 33 streams that unpacks to
# 2 GiB + 64 MiB of zeros, past the payload's unpacking limit.
write_unpacking_bomb() {
    python3 -c '
import bz2, sys
stream = bz2.compress(bytes(64 << 20), 9)
sys.stdout.buffer.write(stream * 33)' > "$1"
}
# set_user_proxy HOST:PORT: the current user's proxy settings in the Wine
# prefix name that manual proxy (no bypass list, no script); "" removes them.
set_user_proxy() {
    local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'
    if [ -z "$1" ]; then
        wine reg delete "$key" /v DefaultConnectionSettings /f >/dev/null 2>&1
        return 0
    fi
    # The record: magic, counter, flags (direct | proxy), then the proxy, the
    # bypass list and the script URL, each after its length.
    local hex
    hex=$(python3 -c '
import struct, sys
blob = struct.pack("<III", 0x46, 0, 1 | 2)
for text in (sys.argv[1].encode(), b"", b""):
    blob += struct.pack("<I", len(text)) + text
print((blob + bytes(32)).hex())' "$1")
    wine reg add "$key" /v DefaultConnectionSettings /t REG_BINARY /d "$hex" /f >/dev/null 2>&1
}
# install_test_arguments "$@": the arguments of the install tests (check,
# wizard, fixtures, tag) and $work, a folder removed when the test ends.
install_test_arguments() {
    check=${1:?wrenstall-check.exe}
    wizard=${2:?Wrenstall.exe}
    fixtures=${3:?fixtures folder}
    tag=${4:?host wrenstall-tag}
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}
# make_tagged_wizard BASE DATA: $work/Wrenstall.exe, a copy of $wizard with
# every server pointed at BASE, signed with key A and tagged with the
# installer data DATA (configure's output in $work/configure.txt), and the
# test package and Nox offer served by the stand-in server. Needs $check,
# $wizard, $tag, $fixtures and $work.
make_tagged_wizard() {
    wine "$check" configure "$(winpath "$wizard")" "$(winpath "$work/configured.exe")" \
        "TrackingEndpoint=$1" "RpcEndpoint=$1" \
        "Payload=CMsiExecutor|$1/kelvora/Kelvora-2.4.1-setup.msi.bz2" \
        "NoxUrl=$1/offers/VelmoraCleanerPlus-downloader.exe.bz2" > "$work/configure.txt" 2>&1
    sign_with_key_a "$work/configured.exe" "$work/Wrenstall.exe"
    printf '%s' "$2" > "$work/data.txt"
    "$tag" add "$work/Wrenstall.exe" "$work/data.txt"
    mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
    cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
    cp "$fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/VelmoraCleanerPlus-downloader.exe.bz2"
}
