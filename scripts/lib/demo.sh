#!/usr/bin/env bash
# The main job, run by scripts/run beside the stand-in server
# (WRENSTALL_SERVER_PORT, WRENSTALL_SERVER_ROOT): a copy of the wizard
# configured for that server, signed with the test key and tagged with the
# demo's installer data, run under Wine in a prefix of its own. Without
# arguments WizardDriver walks it (inside the virtual display scripts/run
# made) and photographs every page; with --interactive the user walks it on
# the display. Ends with a summary of what happened.
# Environment: RUN_LOG (Wine's and the tools' output go there),
# DEMO_LANGUAGE (a locale such as de_DE; en_US by default).
# Standard output carries only the lines meant for the person watching.
set -uo pipefail
source "$(dirname "$0")/common.sh"
select_runnable_build

interactive=false
[ "${1:-}" = --interactive ] && interactive=true
language=${DEMO_LANGUAGE:-en_US}
log=${RUN_LOG:?RUN_LOG}
exec 3>&1 >>"$log" 2>&1
say() { printf '%s\n' "$*" >&3; printf '== %s\n' "$*"; }
fail() { say "scripts/run: $*"; say "details: $log"; exit 1; }

demo="$run_build_dir/demo"
shots="$demo/screenshots"
run_logs="$demo/run-logs"
lang=${language%%_*}
# The pictures carry their language in their names and the wizard's run logs
# their time: both are kept across runs. Only this run's own record and this
# language's pictures go.
rm -f "$demo"/*.txt "$demo"/*.exe "$shots/$lang"-*
mkdir -p "$demo" "$shots" "$run_logs"
start_wine "$run_build_dir/wineprefix-run"
trap stop_wine EXIT
check="$run_build_dir/tools/check/wrenstall-check.exe"
driver="$run_build_dir/tests/WizardDriver.exe"
fixtures="$run_build_dir/tests/fixtures"
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"

say "Preparing the wizard: configured for the stand-in server at $base, signed with the test key, tagged"
# The demo's copy reports to and downloads from this run's stand-in server;
# its registration page is a page of that server.
wine "$check" configure "$run_build_dir/Wrenstall.exe" "$demo/configured.exe" \
    "TrackingEndpoint=$base" "RpcEndpoint=$base" \
    "Payload=CMsiExecutor|$base/kelvora/Kelvora-2.4.1-setup.msi.bz2" \
    "NoxUrl=$base/offers/VelmoraCleanerPlus-downloader.exe.bz2" \
    "RegistrationPageUrl=$base/register" || fail "configuring the wizard's copy failed"
# The test fixtures' throw-away key A signs the wizard, the payload and the offer.
osslsigncode sign -certs "$fixtures/pki/A-chain.crt" -key "$fixtures/pki/A.key" -h sha256 \
    -in "$demo/configured.exe" -out "$demo/Wrenstall.exe" || fail "signing the wizard failed"
rm "$demo/configured.exe"
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
cp "$fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/VelmoraCleanerPlus-downloader.exe.bz2"
# The payload comes in 64 KiB pieces 1.5 s apart, as over a slow line, so
# that the progress page shows its download for a few seconds.
curl -s -X POST -d '{"path": "/kelvora/Kelvora-2.4.1-setup.msi.bz2", "faults": [{"trickle_ms": 1500}]}' \
    "$base/__control/fault"
"$build_dir/host/wrenstall-tag" add "$demo/Wrenstall.exe" "$root/tools/demo-installer-data.txt" ||
    fail "tagging the wizard failed"
"$build_dir/host/wrenstall-tag" show "$demo/Wrenstall.exe"; echo

# The installed application and the offer's setup are stand-ins that record
# how they were started; the browser the demo's data prefers ("ff") is a
# stand-in that records the address it was asked to open.
program_files=$(winepath -u "$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')" 2>/dev/null)
temp_folder=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
browser="$program_files/Mozilla Firefox/firefox.exe"
mkdir -p "$(dirname "$browser")"
cp "$run_build_dir/tests/StandInBrowser.exe" "$browser"
export WRENSTALL_RECORD_FILE
WRENSTALL_RECORD_FILE=$(winepath -w "$demo/started.txt")

locale_vars=(LC_ALL="$language.UTF-8" LANG="$language.UTF-8")
if $interactive; then
    say "Starting Wrenstall.exe ($language) on display $DISPLAY: walk the wizard; this script waits until it ends"
    env "${locale_vars[@]}" wine "$demo/Wrenstall.exe"
    status=$?
    walk="the wizard ended with exit code $status"
else
    say "Starting Wrenstall.exe ($language) in a virtual display; WizardDriver walks it: welcome, licence accepted, offer accepted, progress, finish with launch"
    env "${locale_vars[@]}" wine "$driver" run demo "$(winepath -w "$demo/Wrenstall.exe")" "$(winepath -w "$shots")" "$lang" \
        > "$demo/driver.txt"
    status=$?
    tr -d '\r' < "$demo/driver.txt"
    code=$(tr -d '\r' < "$demo/driver.txt" | sed -n 's/^exit //p' | head -1)
    walk=${code:+the wizard ended with exit code $code}
    walk=${walk:-the driver did not see the wizard end}
    for picture in "$shots"/*.bmp; do
        [ -f "$picture" ] && convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
    done
fi
# The finish routine opens the browser and ends; the started stand-ins
# write their records a moment later.
for _ in $(seq 1 40); do [ -s "$browser.record" ] && break; sleep 0.25; done
sleep 1

# What happened, gathered into the demo folder, then told in a few lines.
curl -s "$base/__control/requests" > "$demo/requests.txt"
wine reg query 'HKLM\SOFTWARE\Tarnwell Utilities Inc' /s 2>/dev/null | tr -d '\r' > "$demo/registry.txt"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' > "$demo/uninstall.txt"
# The wizard's run log lives in the prefix's temporary folder, which the next
# run's fresh prefix removes: a copy stays with the demo.
run_log=$(ls -t "$temp_folder"/Kelvora-setup-*.log 2>/dev/null | head -1)
if [ -n "$run_log" ]; then
    cp "$run_log" "$run_logs/" && run_log="$run_logs/$(basename "$run_log")"
fi
python3 "$root/scripts/lib/demo_summary.py" --demo "$demo" --walk "$walk" --status "$status" \
    --installed "$program_files/Kelvora/Kelvora.exe" --installed-windows "$(winepath -w "$program_files/Kelvora/Kelvora.exe")" \
    --browser-record "$browser.record" --run-log "$run_log" --screenshots "$($interactive || echo "$shots")" \
    --log "$log" >&3
