#!/usr/bin/env bash
# wrenstall-check install end to end, under with-server.sh: the shipped build
# configuration with the servers pointed at this test's stand-in server, a
# wizard signed with test key A and tagged with installer data, the payload
# and the Nox offer signed with A on the stand-in server.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
install_test_arguments "$@"
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
make_tagged_wizard "$base" $'@upl=check+install\r\nNoxInstallOnReboot=yes\r\nSI_CHNL=7\r\n'
expect "configure points the copy at this server" '[ "$(tail -n 1 "$work/configure.txt" | tr -d "\r")" = "result: 0x00000000" ]'
installed=$(installed_kelvora)
# The started offer setup may still run when the page deletes its files; its
# deletion then waits for the next restart, as on Windows.
# Downloads live in the program's protected working folders (wrs*) of the system's temporary folder.
work_base=$(winepath -u 'C:\windows\temp' 2>/dev/null)
downloads() { find "$work_base" -path '*/wrs*/*' -type f \( -name 'twu*' -o -name 'nox*' -o -name 'gfp*' \) 2>/dev/null | grep -vE '/nox[^/]*\.exe$' | sort; }
uninstall
# A slow transfer, so that progress is reported.
curl -s -X POST -d '{"path": "/kelvora/Kelvora-2.4.1-setup.msi.bz2", "faults": [{"trickle_ms": 40}]}' \
    "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/fault" >/dev/null
before=$(downloads)

export WRENSTALL_RECORD_FILE="$(winpath "$work/offer-started.txt")"
wine "$check" install "$(winpath "$work/Wrenstall.exe")" --accept nox > "$work/out.txt" 2>/dev/null
status=$?
tr -d '\r' < "$work/out.txt" > "$work/out"
expect "install exits 0 with result 0" '[ $status -eq 0 ] && [ "$(tail -n 1 "$work/out")" = "result: 0x00000000" ]'
expect "the tasks run from download to Done!" \
    'grep -q "^task: 25 Downloading application components...$" "$work/out" && grep -q "^task: 75 Installing Kelvora...$" "$work/out" && grep -q "^task: 100 Done!$" "$work/out"'
expect "download progress shows bytes and rate" 'grep -qE "^step: [0-9]+ .* of .* downloaded at .*\.\.\.$" "$work/out"'
expect "the product is installed" '[ -f "$installed" ]'
for _ in $(seq 1 40); do [ -s "$work/offer-started.txt" ] && break; sleep 0.1; done
expect "the accepted Nox offer started with its properties" \
    'grep -q "\.exe\" SI_LAUNCH=onreboot SI_CHNL=7$" "$work/offer-started.txt"'
# Read whole before grep -q may stop reading (a broken pipe fails the pipeline).
seen=$(requests)
expect "InstallerInvoked and InstallerFinished reached the tracking endpoint" \
    'grep -q "ev=InstallerInvoked&upl=check%2Binstall" <<< "$seen" && grep -q "ev=InstallerFinished.*&productVersion=2.4.1.7$" <<< "$seen"'
expect "no downloaded file is left in the temporary folder" '[ "$(downloads)" = "$before" ]'
uninstall

before=$(downloads)
curl -s -X POST -d '{"path": "/kelvora/Kelvora-2.4.1-setup.msi.bz2", "faults": [{"trickle_ms": 200}]}' \
    "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/fault" >/dev/null
wine "$check" install "$(winpath "$work/Wrenstall.exe")" --cancel-after download > "$work/out.txt" 2>/dev/null
status=$?
tr -d '\r' < "$work/out.txt" > "$work/out"
expect "a cancelled download ends with 0x800704C7" '[ $status -eq 1 ] && [ "$(tail -n 1 "$work/out")" = "result: 0x800704C7" ]'
expect "a cancelled run installs nothing" '[ ! -f "$installed" ]'
expect "a cancelled run leaves no downloaded file" '[ "$(downloads)" = "$before" ]'

# Cancelling at a stage the run never reaches fails loudly instead of passing.
curl -s -X POST -d '{"path": "/kelvora/Kelvora-2.4.1-setup.msi.bz2", "faults": []}' \
    "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/fault" >/dev/null
wine "$check" install "$(winpath "$work/Wrenstall.exe")" --cancel-after extract > "$work/out.txt" 2> "$work/err.txt"
status=$?
expect "cancelling at a stage never reached exits non-zero" '[ $status -ne 0 ]'
expect "and says \"stage never reached\"" 'tr -d "\r" < "$work/err.txt" | grep -q "stage never reached: extract"'
uninstall

# A 2,6 KB bzip2 payload that expands past the decompression limit (2 GiB) stops
# with a clear error before the signature check and leaves nothing behind.
write_unpacking_bomb "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
before=$(downloads)
wine "$check" install "$(winpath "$work/Wrenstall.exe")" > "$work/out.txt" 2> "$work/err.txt"
status=$?
tr -d '\r' < "$work/out.txt" > "$work/out"
expect "a decompression bomb ends with 0x800700DF" '[ $status -eq 1 ] && [ "$(tail -n 1 "$work/out")" = "result: 0x800700DF" ]'
expect "the bomb's stop is logged with the limit" 'tr -d "\r" < "$work/err.txt" | grep -q "Decompression stopped: the output passes 2147483647 bytes"'
expect "a bomb leaves nothing in the temporary folder" '[ "$(downloads)" = "$before" ]'
expect "a bomb installs nothing" '[ ! -f "$installed" ]'

# A failing run names its log; the log holds the failing URL and its code.
rm -f "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
wine "$check" install "$(winpath "$work/Wrenstall.exe")" > "$work/out.txt" 2>/dev/null
status=$?
tr -d '\r' < "$work/out.txt" > "$work/out"
log=$(sed -n 's/^log: //p' "$work/out")
log_file=$( [ -n "$log" ] && winepath -u "$log" 2>/dev/null )
expect "a failed download ends with 0x80190194 and names the run log" \
    '[ $status -eq 1 ] && [ "$(tail -n 1 "$work/out")" = "result: 0x80190194" ] && [ -f "$log_file" ]'
expect "the run log holds the failing URL and its code" \
    'grep -q "Payload download from http://127.0.0.1:[0-9]*/kelvora/Kelvora-2.4.1-setup.msi.bz2 failed: 0x80190194" "$log_file"'

finish
