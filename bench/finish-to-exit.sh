#!/usr/bin/env bash
# From a click on Finish (launch check box on) to the end of the process: how
# long the wizard's window stays and how long the process outlives it, over
# RUNS installs of the test package served by the stand-in server on a free
# 127.0.0.1 port, plain and as the demo (an accepted offer, the registration
# page at the end); the end of the wizard's run log, with its times, shows
# where the time goes. Without DISPLAY the runs happen in Xvfb.
# Usage: bench/finish-to-exit.sh [RUNS=3]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
source "$(dirname "$0")/lib/wizard-runs.sh"
runs=${1:-3}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS is a positive whole number"; exit 2; }
require_built "$wizard_driver" "$wizard_program" "$wizard_fixtures/package-A.msi.bz2"
rerun_with_server_and_display "$runs"

export WINEPREFIX="$run_build_dir/wineprefix-bench-finish"
start_wine "$WINEPREFIX"
work=$(mktemp -d)
trap 'rm -rf "$work"; stop_wine' EXIT
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora"
cp "$wizard_fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/package.msi.bz2"
# configure NAME DATA [KEY=VALUE...]: a signed wizard copy with that installer data; prints its path.
configure() {
    local exe
    exe=$(signed_wizard_copy "$work/$1" "$base/kelvora/package.msi.bz2" "${@:3}")
    printf '%b' "$2" > "$exe.installer_data"
    echo "$exe"
}
mkdir -p "$WRENSTALL_SERVER_ROOT/offers"
cp "$wizard_fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/nox.exe.bz2"
plain=$(configure plain '@upl=bench\r\nMaxOffers=0\r\n')
# As the demo: the registration page opens at the end, and an offer was accepted.
demo=$(configure demo '@upl=bench\r\nMaxOffers=1\r\nNoxOffer=enabled\r\n?LaunchRegistrationPageOnFinish=true\r\nbrowser=ff\r\n' \
    "NoxUrl=$base/offers/nox.exe.bz2" "RegistrationPageUrl=$base/register")
temp_folder=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
# The browser the demo's data asks for is a stand-in that records the address.
program_files=$(winepath -u "$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')" 2>/dev/null)
mkdir -p "$program_files/Mozilla Firefox"
cp "$run_build_dir/tests/StandInBrowser.exe" "$program_files/Mozilla Firefox/firefox.exe"

echo "from Finish to the end of the process under $(wine --version) (launch check box on):"
for setup in plain demo; do
    exe=$plain; [ "$setup" = demo ] && exe=$demo
    for run in $(seq 1 "$runs"); do
        uninstall_kelvora
        wine "$wizard_driver" run finish-timing "$(winpath "$exe")" 2>/dev/null | tr -d '\r' | grep "^finish:" |
            sed "s/^finish:/  $setup, run $run:/"
        sleep 0.5
    done
    # Where the time goes: the end of the wizard's own run log, with its times.
    log=$(ls -t "$temp_folder"/*-setup-*.log 2>/dev/null | head -n 1)
    [ -n "$log" ] && { echo "  the end of the last $setup run's log:"; tr -d '\r' < "$log" | tail -9 | sed 's/^/    /'; }
done
uninstall_kelvora
