#!/usr/bin/env bash
# The progress page and the offer pages under Xvfb, driven from outside by
# WizardDriver against the stand-in server (each copy configured with its
# address): both offers accepted, one declined, none allowed by the budget; Cancel
# answered No and Yes on the progress page mid-download and on an offer page,
# Yes while the download is stalled,
# Cancel while the payload unpacks and during the install scan; a walk with
# the keyboard alone;
# the notification-area mode; pictures of the progress page mid-download and
# of both offer pages in five languages at 96 and at 144 DPI. Each wizard copy is signed with test
# key A, as are the payload and the offers on the server.
# usage: progress_offers_test.sh WizardDriver.exe Wrenstall.exe FIXTURES SHOTS_FOLDER [SCENARIO...]
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
source "$(dirname "$0")/wizard-support.sh"
trickle() { curl -s -X POST -d "{\"path\": \"$1\", \"faults\": [{\"trickle_ms\": $2}]}" "$base/__control/fault" >/dev/null; }
# The payload (about 260 KB, four 64 KiB pieces) at one piece every 4 s: still
# downloading after the checks, pictures and both questions of the Cancel
# scenario (a download that ends first would install and show the success page).
slow_ms=4000

mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
payload=/kelvora/Kelvora-2.4.1-setup.msi.bz2
cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT$payload"
cp "$fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/nox-setup.exe.bz2"
cp "$fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/gearfresh-setup.exe.bz2"
config=(ProductCode=TW6 'AppExe=%ProgramFiles%\Kelvora\Kelvora.exe' "TrackingEndpoint=$base" "RpcEndpoint=$base" "Payload=CMsiExecutor|$base$payload"
        "NoxUrl=$base/offers/nox-setup.exe.bz2" "GearfreshEnUrl=$base/offers/gearfresh-setup.exe.bz2"
        PageOrder=CWelcomePage,CProgressPage,CFinishedPage)
offers='@upl=progress+test\r\nNoxOffer=enabled\r\nGearfreshOffer=enabled\r\n'
temp_folder=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
# Started offer setups may still run from their files; those go at the next restart.
# Downloads live in the program's protected working folders (wrs*) of the system's temporary folder.
work_base=$(winepath -u 'C:\windows\temp' 2>/dev/null)
downloads() { find "$work_base" -path '*/wrs*/*' -type f \( -name 'twu*' -o -name 'nox*' -o -name 'gfp*' \) 2>/dev/null | grep -vE '/(nox|gfp)[^/]*\.exe$' | sort; }
installed=$(installed_kelvora)
export WRENSTALL_RECORD_FILE="$(winpath "$work/offers-started.txt")"

# copy NAME DATA [KEY=VALUE...]: a wizard copy with the configuration above
# (and those entries), signed with key A, and that installer data file; prints its path.
copy() {
    mkdir -p "$work/$1"
    wine "$driver" config "$(winpath "$wizard")" "$(winpath "$work/$1/unsigned.exe")" "${config[@]}" "${@:3}" >/dev/null 2>&1
    sign_with_key_a "$work/$1/unsigned.exe" "$work/$1/setup.exe"
    printf '%b' "$2" > "$work/$1/setup.exe.installer_data"
    echo "$work/$1/setup.exe"
}
# The command lines of the offers' setups, started from the temporary folder.
offer_setups='[\\/](nox|gfp)[^\\/ ]*\.exe'
offer_gets() { requests | grep -c "^/offers/$1-setup.exe.bz2" ; }
before=$(downloads)

if wanted offers-both; then
    uninstall
    exe=$(copy both "${offers}MaxOffers=2\r\n")
    reset
    rm -f "$work/offers-started.txt"
    expect "both offers accepted: offer pages in order, progress, finished" \
        drive offers-both "$exe"
    expect "both offers were downloaded" '[ "$(offer_gets nox)" -ge 1 ] && [ "$(offer_gets gearfresh)" -ge 1 ]'
    expect "the payload was downloaded once" '[ "$(requests | grep -c "^$payload")" -eq 1 ]'
    for _ in $(seq 1 40); do [ "$(wc -l < "$work/offers-started.txt" 2>/dev/null)" = 2 ] && break; sleep 0.1; done
    expect "both offer setups were started after the payload" \
        '[ "$(grep -c "\.exe\" SI_LAUNCH=immediate$" "$work/offers-started.txt" 2>/dev/null)" -eq 2 ]'
    expect "InstallerFinished reached the tracking endpoint" 'requests | grep -q "ev=InstallerFinished"'
    expect "no download is left in the temporary folder" '[ "$(downloads)" = "$before" ]'
fi

if wanted offers-nox-declined; then
    uninstall
    exe=$(copy declined "${offers}MaxOffers=2\r\n")
    reset
    rm -f "$work/offers-started.txt"
    expect "Nox declined, Gearfresh accepted" \
        drive offers-nox-declined "$exe"
    expect "the declined offer was not downloaded" '[ "$(offer_gets nox)" -eq 0 ]'
    expect "the accepted offer was downloaded" '[ "$(offer_gets gearfresh)" -ge 1 ]'
    # The wizard started its offers' setups before it ended: once none of
    # them runs in this prefix, each one started has recorded its start.
    expect "the started offer setups have ended" wait_until 20 '[ -z "$(own_processes "$offer_setups")" ]'
    expect "only the accepted offer's setup was started" \
        '[ "$(grep -c "SI_LAUNCH" "$work/offers-started.txt" 2>/dev/null)" -eq 1 ] && grep -q "gfp" "$work/offers-started.txt"'
    expect "no download is left in the temporary folder" '[ "$(downloads)" = "$before" ]'
fi

if wanted offers-none; then
    uninstall
    exe=$(copy none "${offers}MaxOffers=0\r\n")
    reset
    expect "MaxOffers 0: no offer page" \
        drive offers-none "$exe"
    expect "no offer was downloaded" '[ "$(offer_gets nox)" -eq 0 ] && [ "$(offer_gets gearfresh)" -eq 0 ]'
fi

if wanted cancel-progress; then
    uninstall
    exe=$(copy cancel-progress "${offers}MaxOffers=0\r\n")
    reset
    trickle "$payload" "$slow_ms"
    expect "Cancel on the progress page mid-download: No goes on, Yes ends interrupted" \
        drive cancel-progress "$exe"
    expect "the cancelled download leaves nothing in the temporary folder" '[ "$(downloads)" = "$before" ]'
    expect "nothing was installed" '[ ! -f "$installed" ]'
fi

if wanted cancel-stalled; then
    # The payload's body stops after 64 KiB for ten minutes: the Yes ends the
    # blocked request, not the platform's time bound or the server.
    uninstall
    exe=$(copy cancel-stalled "${offers}MaxOffers=0\r\n")
    reset
    curl -s -X POST -d "{\"path\": \"$payload\", \"faults\": [{\"stall_after\": 65536, \"stall_ms\": 600000}]}" \
        "$base/__control/fault" >/dev/null
    expect "Cancel while the download is stalled: Yes ends interrupted" \
        drive cancel-timing-stalled "$exe"
    run_log=$(ls -t "$temp_folder"/*-setup-*.log 2>/dev/null | head -n 1)
    expect "the run log: the download was cancelled and the run stopped by the user" \
        'grep -q "failed: 0x800704C7" "$run_log" && grep -q "Installation stopped by the user" "$run_log"'
    expect "the stalled download was asked for once and nothing was installed" \
        '[ "$(requests | grep -c "^$payload")" -eq 1 ] && [ ! -f "$installed" ]'
    expect "the cancelled download leaves nothing in the temporary folder" wait_until 20 '[ "$(downloads)" = "$before" ]'
fi

if wanted cancel-extraction; then
    uninstall
    exe=$(copy cancel-extraction "${offers}MaxOffers=0\r\n")
    reset
    # A 2.6 KB payload that unpacks to 2 GiB of zeros (the unpacking limit stops
    # it after about half a minute): the Cancel comes while it unpacks.
    write_unpacking_bomb "$WRENSTALL_SERVER_ROOT$payload"
    expect "Cancel while the payload unpacks: Yes ends interrupted" \
        drive cancel-extraction "$exe"
    expect "the cancelled unpacking leaves nothing in the temporary folder" '[ "$(downloads)" = "$before" ]'
    run_log=$(ls -t "$temp_folder"/*-setup-*.log 2>/dev/null | head -n 1)
    expect "the run log: unpacking stopped by the user, not by its limit" \
        'grep -q "Decompression stopped: stopped by its caller" "$run_log" &&
         grep -q "Installation stopped by the user" "$run_log" && ! grep -q "the output passes" "$run_log"'
    cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT$payload"
fi

if wanted cancel-scan; then
    # The installed application's scan (the stand-in) creates its event only
    # after 5 s: the Cancel comes after the package is installed.
    uninstall
    exe=$(copy cancel-scan "${offers}MaxOffers=0\r\n" InstallScanEvent=WrenstallWizardScan "InstallScanResultUrl=$base/scan")
    reset
    export WRENSTALL_SCAN_EVENT=WrenstallWizardScan WRENSTALL_SCAN_START_DELAY=5000 WRENSTALL_SCAN_RESULT=sz \
        WRENSTALL_SCAN_KEY='SOFTWARE\Tarnwell Utilities Inc\Kelvora'
    expect "Cancel during the install scan: the installation completes with the success page" \
        drive cancel-scan "$exe"
    unset WRENSTALL_SCAN_EVENT WRENSTALL_SCAN_START_DELAY WRENSTALL_SCAN_RESULT WRENSTALL_SCAN_KEY
    expect "the product stays installed" '[ -f "$installed" ]'
    expect "InstallerFinished reached the tracking endpoint, InstallerCancelled did not" \
        'requests | grep -q "ev=InstallerFinished" && ! requests | grep -q "InstallerCancelled"'
    # The stand-in's scan runs on for a few seconds; the next uninstall needs its file.
    wait_until 10 '[ -z "$(own_processes "Kelvora.exe -installscan")" ]'
fi

if wanted cancel-offer; then
    uninstall
    exe=$(copy cancel-offer "${offers}MaxOffers=2\r\n")
    reset
    trickle /offers/nox-setup.exe.bz2 400
    trickle "$payload" 400
    expect "Cancel on an offer page: No stays, Yes ends interrupted" \
        drive cancel-offer "$exe"
    # The wizard has ended; files it opened may close a moment later.
    expect "the cancelled offer download leaves nothing in the temporary folder" \
        wait_until 20 '[ "$(downloads)" = "$before" ]'
fi

if wanted tray; then
    uninstall
    exe=$(copy tray "${offers}MaxOffers=0\r\ntrack=NOX00011\r\nInstallerFinishedS2S=$base/s2s/finished\r\n")
    reset
    trickle "$payload" 1000
    expect "NOX00011: hidden in the notification area, restored, finished without the finished page" \
        drive tray "$exe"
    expect "the server-to-server notification was requested" 'requests | grep -q "^/s2s/finished"'
fi

if wanted keyboard; then
    # Real key presses only; the payload trickles so that the progress page
    # is still downloading when its keys are tried.
    uninstall
    exe=$(copy keyboard "${offers}MaxOffers=1\r\n")
    reset
    rm -f "$work/offers-started.txt"
    trickle "$payload" "$slow_ms"
    expect "a keyboard-only walk from the welcome page to Finish, with an offer and two questions answered No" \
        drive keyboard "$exe"
    expect "the product is installed" '[ -f "$installed" ]'
    expect "the offer accepted by Enter was downloaded" '[ "$(offer_gets nox)" -ge 1 ]'
fi

if wanted pictures; then
    # The shots of the other pages these runs pass go; the wizard test takes those.
    rm -f "$shots"/progress-*.png "$shots"/progress-*.bmp
    # At 96 DPI (progress-LANGUAGE-*) and at 144 DPI, 150 % (progress-144dpi-LANGUAGE-*).
    for dpi in 96 144; do
        use_dpi "$dpi"
        scale=$(dpi_tag "$dpi")
        for language in en_US de_DE es_ES fr_FR ja_JP; do
            tag=${language%%_*}
            uninstall
            exe=$(copy "pictures$scale-$tag" "${offers}MaxOffers=2\r\n")
            trickle "$payload" 400
            drive cancel-offer "$exe" "$language" "progress$scale-$tag" >/dev/null
            exe=$(copy "progress$scale-$tag" "${offers}MaxOffers=0\r\n")
            trickle "$payload" "$slow_ms"
            drive cancel-progress "$exe" "$language" "progress$scale-$tag" >/dev/null
        done
    done
    use_dpi 96
    for tag in en de es fr ja 144dpi-en 144dpi-de 144dpi-es 144dpi-fr 144dpi-ja; do
        for page in nox-offer gearfresh-offer progress-download; do
            picture="$shots/progress-$tag-$page.bmp"
            [ -f "$picture" ] && convert "$picture" "${picture%.bmp}.png"
            expect "picture $tag $page shows that page" shows "progress-$tag-$page" "${page%-download}"
        done
    done
    rm -f "$shots"/progress-*.bmp
fi
uninstall
finish
