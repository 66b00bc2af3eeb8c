#!/usr/bin/env bash
# The main job, run by scripts/run inside a virtual display and beside the
# stand-in server (WRENSTALL_SERVER_PORT, WRENSTALL_SERVER_ROOT): a signed,
# tagged wizard started under Wine, then a full installation by its engine
# (payload download, verification, MSI install, Nox offer) through
# wrenstall-check install, and what reached the maker's servers.
set -euo pipefail
source "$(dirname "$0")/common.sh"

demo="$build_dir/demo"
rm -rf "$demo"
mkdir -p "$demo"
start_wine "$build_dir/wineprefix-run"
trap stop_wine EXIT
check="$build_dir/tools/check/wrenstall-check.exe"
# The demo's copy of the wizard reports to and downloads from this run's stand-in server.
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
wine "$check" configure "$build_dir/Wrenstall.exe" "$demo/configured.exe" \
    "TrackingEndpoint=$base" "RpcEndpoint=$base" \
    "Payload=CMsiExecutor|$base/kelvora/Kelvora-2.4.1-setup.msi.bz2" \
    "NoxUrl=$base/offers/VelmoraCleanerPlus-downloader.exe.bz2" >/dev/null
# The test fixtures' throw-away key A signs the wizard, the payload and the offer.
fixtures="$build_dir/tests/fixtures"
osslsigncode sign -certs "$fixtures/pki/A-chain.crt" -key "$fixtures/pki/A.key" -h sha256 \
    -in "$demo/configured.exe" -out "$demo/Wrenstall.exe" >/dev/null
rm "$demo/configured.exe"
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
cp "$fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/VelmoraCleanerPlus-downloader.exe.bz2"
"$build_dir/host/wrenstall-tag" add "$demo/Wrenstall.exe" "$root/tools/demo-installer-data.txt"
echo "== signed and tagged: $demo/Wrenstall.exe"
"$build_dir/host/wrenstall-tag" show "$demo/Wrenstall.exe" | tr -d '\r'; echo

echo "== wrenstall-check data"
wine "$check" data "$demo/Wrenstall.exe" | tr -d '\r'
echo "== Wrenstall.exe"
set +e
wine "$demo/Wrenstall.exe" 2>&1 | tr -d '\r'
status=${PIPESTATUS[0]}
set -e
echo "== installation by the engine: wrenstall-check install --accept nox"
wine "$check" install "$demo/Wrenstall.exe" --accept nox 2>/dev/null | tr -d '\r' |
    awk '/^step: / { if (++steps % 10 != 1) next } { print }'
program_files=$(winepath -u "$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')" 2>/dev/null)
ls -l "$program_files/Kelvora/Kelvora.exe"
echo "== registry"
wine reg query 'HKLM\SOFTWARE\Tarnwell Utilities Inc' /s 2>/dev/null | tr -d '\r' | grep -E 'HKEY|REG_' 
echo "== requests the stand-in servers received"
curl -s "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/requests" | python3 -c '
import sys
for line in sys.stdin:
    fields = line.rstrip("\n").split("\t")
    print(fields[0], bytes.fromhex(fields[1]).decode(errors="replace"))'
echo "== exit code $status"
exit "$status"
