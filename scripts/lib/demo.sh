#!/usr/bin/env bash
# The main job, run by scripts/run inside a virtual display and beside the
# stand-in server (WRENSTALL_SERVER_PORT, WRENSTALL_SERVER_ROOT): a signed,
# tagged wizard started under Wine, and what reached the maker's servers.
set -euo pipefail
source "$(dirname "$0")/common.sh"

demo="$build_dir/demo"
rm -rf "$demo"
mkdir -p "$demo"
"$root/tests/pki/make-test-pki.sh" "$demo/pki" >/dev/null
osslsigncode sign -certs "$demo/pki/A-chain.crt" -key "$demo/pki/A.key" -h sha256 \
    -in "$build_dir/Wrenstall.exe" -out "$demo/Wrenstall.exe" >/dev/null
"$build_dir/host/wrenstall-tag" add "$demo/Wrenstall.exe" "$root/tools/demo-installer-data.txt"
echo "== signed and tagged: $demo/Wrenstall.exe"
"$build_dir/host/wrenstall-tag" show "$demo/Wrenstall.exe" | tr -d '\r'; echo

start_wine "$build_dir/wineprefix-run"
trap stop_wine EXIT
echo "== wrenstall-check data"
wine "$build_dir/tools/check/wrenstall-check.exe" data "$demo/Wrenstall.exe" | tr -d '\r'
echo "== Wrenstall.exe"
set +e
wine "$demo/Wrenstall.exe" 2>&1 | tr -d '\r'
status=${PIPESTATUS[0]}
set -e
echo "== registry"
wine reg query 'HKLM\SOFTWARE\Tarnwell Utilities Inc' /v MachineID | tr -d '\r' | grep MachineID
echo "== requests the stand-in servers received"
curl -s "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/requests" | python3 -c '
import sys
for line in sys.stdin:
    fields = line.rstrip("\n").split("\t")
    print(fields[0], bytes.fromhex(fields[1]).decode(errors="replace"))'
echo "== exit code $status"
exit "$status"
