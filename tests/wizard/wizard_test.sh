#!/usr/bin/env bash
# The wizard under Xvfb and the window manager, driven from outside by
# WizardDriver against the stand-in server (tracking, RPC and downloads; each
# wizard copy is configured with the server's address): the default order to
# the end, Back, Cancel with No and Yes (also while the payload downloads), the close box, the countdown, the
# about box, the campaign's minimise-box rule and the icon's restore, the
# initialization page with data from the server and its close box, errors ending in the error
# variant with the error event at the tracking endpoint, and pictures of every
# page in five languages at 96 and at 144 DPI.
# usage: wizard_test.sh WizardDriver.exe Wrenstall.exe FIXTURES SHOTS_FOLDER [SCENARIO...]
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
source "$(dirname "$0")/wizard-support.sh"
respond() { curl -s -X POST -d "$2" "$base/__control/respond" >/dev/null; }

shipped=(ProductCode=TW6 'AppExe=%ProgramFiles%\Kelvora\Kelvora.exe' "TrackingEndpoint=$base" "RpcEndpoint=$base"
         "Payload=CMsiExecutor|$base/kelvora/Kelvora-2.4.1-setup.msi.bz2")
# Downloads live in the program's protected working folders (wrs*) of the system's temporary folder.
work_base=$(winepath -u 'C:\windows\temp' 2>/dev/null)
downloads() { find "$work_base" -path '*/wrs*/*' -type f \( -name 'twu*' -o -name 'nox*' -o -name 'gfp*' \) 2>/dev/null | sort; }

# copy NAME DATA KEY=VALUE...: a wizard copy in its own folder with that build
# configuration and installer data file (DATA empty: none); prints its path.
copy() {
    local name=$1 data=$2; shift 2
    mkdir -p "$work/$name"
    wine "$driver" config "$(winpath "$wizard")" "$(winpath "$work/$name/setup.exe")" "$@" >/dev/null 2>&1
    [ -n "$data" ] && printf '%b' "$data" > "$work/$name/setup.exe.installer_data"
    echo "$work/$name/setup.exe"
}
data='@upl=wizard+test\r\n'
# signed_copy NAME: the shipped configuration with the progress page, signed
# with test key A like the packages, with the installer data above; prints its path.
signed_copy() {
    local unsigned
    unsigned=$(copy "$1-unsigned" "" "${shipped[@]}" PageOrder=CWelcomePage,CProgressPage,CFinishedPage)
    mkdir -p "$work/$1"
    sign_with_key_a "$unsigned" "$work/$1/setup.exe"
    printf '%b' "$data" > "$work/$1/setup.exe.installer_data"
    echo "$work/$1/setup.exe"
}
installed=$(installed_kelvora)
# The payload on the server: the welcome page downloads it in the background.
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora"
cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
page_order=PageOrder=CWelcomePage,CLicensePage,CFinishedPage

if wanted install; then
    # The shipped configuration on this server, the wizard signed with test key A, the package signed with A.
    exe=$(signed_copy install)
    cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
    uninstall
    reset
    export WRENSTALL_RECORD_FILE="$(winpath "$work/launched.txt")"
    expect "the default page order to the end" \
        drive install "$exe" en_US wizard-en
    expect "the product is installed" '[ -f "$installed" ]'
    for _ in $(seq 1 40); do [ -s "$work/launched.txt" ] && break; sleep 0.25; done
    expect "Finish launched the installed application" '[ -s "$work/launched.txt" ]'
    expect "InstallerFinished and InstallerFinishedButton reached the tracking endpoint" \
        'requests | grep -q "ev=InstallerFinished&" && requests | grep -q "ev=InstallerFinishedButton"'
    expect "no download is left in the temporary folder" '[ -z "$(downloads)" ]'
    unset WRENSTALL_RECORD_FILE
    uninstall
fi

if wanted license-back; then
    exe=$(copy license "$data" "${shipped[@]}" $page_order)
    reset
    expect "Back from the licence page and Cancel with No, then Yes by the Escape key" \
        drive license-back "$exe"
    expect "the controller was asked for the payload when the welcome page showed" \
        'requests | grep -q "^/kelvora/Kelvora-2.4.1-setup.msi.bz2"'
    expect "cancelling leaves no download behind" '[ -z "$(downloads)" ]'
fi

if wanted cancel-while-downloading; then
    # The payload trickles (one 64 KiB piece every 3 s): the Cancel on the
    # welcome page stops its download, whose own "cancelled" code must not
    # come back to the person as an error over the interrupted page.
    exe=$(copy cancel-downloading "$data" "${shipped[@]}" $page_order)
    reset
    curl -s -X POST -d '{"path": "/kelvora/Kelvora-2.4.1-setup.msi.bz2", "faults": [{"trickle_ms": 3000}]}' \
        "$base/__control/fault" >/dev/null
    expect "Cancel while the payload downloads: No, then Yes ends interrupted" \
        drive license-back "$exe"
    expect "InstallerCancelled reached the tracking endpoint, no error event" \
        'wait_until 10 "requests | grep -q description=InstallerCancelled" && ! requests | grep -q "ev=Error"'
    expect "cancelling the download leaves nothing behind" wait_until 10 '[ -z "$(downloads)" ]'
fi

if wanted close-box; then
    exe=$(copy close "$data" "${shipped[@]}" PageOrder=CWelcomePage,CProgressPage,CFinishedPage)
    expect "the close box asks, a second close is harmless, the finished page's close box finishes" \
        drive close-box "$exe"
fi

if wanted frame-rules; then
    exe=$(copy kept "${data}track=NOX00010\r\n" "${shipped[@]}" $page_order)
    expect "track NOX00010 keeps the minimise box; the icon's click restores the frame" \
        drive minimise-kept "$exe"
    exe=$(copy removed "${data}track=NOX00012\r\n" "${shipped[@]}" $page_order)
    expect "track NOX00012 removes the minimise box" \
        drive minimise-removed "$exe"
fi

if wanted countdown; then
    exe=$(copy countdown "${data}AutoLaunchWait=3\r\n" "${shipped[@]}" PageOrder=CWelcomePage,CFinishedPage)
    reset
    expect "AutoLaunchWait 3 counts down and finishes by itself" \
        drive countdown "$exe"
    expect "the finish events reached the tracking endpoint" \
        'requests | grep -q "ev=InstallerAccepted" && requests | grep -q "ev=InstallerFinishedButton"'
fi

if wanted about; then
    exe=$(copy about "$data" "${shipped[@]}" $page_order)
    expect "the system menu's about box" \
        drive about "$exe"
fi

if wanted initialization; then
    exe=$(copy initialization "" "${shipped[@]}" $page_order)
    reset
    respond x '{"path": "/rpc/installer-data-update", "status": 200, "delay_ms": 3000, "body": "@upl=from+server\r\nMaxOffers=0\r\n"}'
    expect "the initialization page until the server's installer data arrived, then the welcome page" \
        drive initialization "$exe"
    requests | grep -E "^/rpc/|InstallerInvoked" | sed 's/^/    request: /'
    fetch_line=$(requests | grep -n "^/rpc/installer-data-update" | head -1 | cut -d: -f1)
    invoked_line=$(requests | grep -n "ev=InstallerInvoked.*upl=from%2Bserver" | head -1 | cut -d: -f1)
    expect "InstallerInvoked with the server's campaign follows the fetch" \
        '[ -n "$fetch_line" ] && [ -n "$invoked_line" ] && [ "$invoked_line" -gt "$fetch_line" ]'
    # The close box while the server holds the request: the question, and Yes ends on the interrupted page.
    exe=$(copy initialization-close "" "${shipped[@]}" $page_order)
    reset
    respond x '{"path": "/rpc/installer-data-update", "status": 200, "delay_ms": 600000, "body": ""}'
    expect "the close box on the initialization page asks, and Yes shows the interrupted page" \
        drive cancel-timing-initialization "$exe"
fi

if wanted error; then
    # The payload is missing on the server (404) ...
    exe=$(copy missing "$data" "${shipped[@]}" $page_order)
    rm -f "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
    reset
    expect "a missing payload: the program's box, then the error variant" \
        drive error "$exe" en_US wizard-en-error
    expect "the box says in words that the file is not on the server, the code after them" \
        'grep -q "^error message: The file to download is not on the download server\..* (0x80190194)$" "$work/out"'
    expect "the missing payload's error event reached the tracking endpoint" \
        'requests | grep -q "ev=Error.*errorCode=80190194"'
    # ... and the download server is unreachable (a port held here that refuses).
    refusing_port "$work/refused-port"
    exe=$(copy unreachable "$data" ProductCode=TW6 "TrackingEndpoint=$base" "RpcEndpoint=$base" "Payload=CMsiExecutor|http://127.0.0.1:$(cat "$work/refused-port")/kelvora/setup.msi.bz2" $page_order)
    reset
    expect "an unreachable server: the program's box, then the error variant" \
        drive error "$exe"
    expect "the box says in words that the server could not be reached, the code after them" \
        'grep -q "^error message: The download server could not be reached\..* (0x8007[0-9A-F]\{4\})$" "$work/out"'
    expect "the unreachable server's error event reached the tracking endpoint" \
        'requests | grep -q "ev=Error.*errorType=windowsDesktopError"'
    # ... and a package signed by a foreign key, refused once the installation begins.
    exe=$(signed_copy foreign)
    cp "$fixtures/package-C.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/Kelvora-2.4.1-setup.msi.bz2"
    reset
    expect "a payload signed by a foreign key: the program's box, then the error variant" \
        drive error-after-agree "$exe"
    expect "the refused signature's error event reached the tracking endpoint" \
        'requests | grep -q "ev=Error.*errorCode=80092009"'
    expect "the foreign package was not installed" '[ ! -f "$installed" ]'
    expect "no download is left in the temporary folder" '[ -z "$(downloads)" ]'
fi

if wanted pictures; then
    # Pictures of an earlier run must not stand in for missing ones.
    rm -f "$shots"/wizard-*.png "$shots"/wizard-*.bmp
    # At 96 DPI (wizard-LANGUAGE-*) and at 144 DPI, 150 % (wizard-144dpi-LANGUAGE-*).
    for dpi in 96 144; do
        use_dpi "$dpi"
        scale=$(dpi_tag "$dpi")
        for language in en_US de_DE es_ES fr_FR ja_JP; do
            tag=${language%%_*}
            exe=$(copy "pictures$scale-$tag" "$data" "${shipped[@]}" $page_order)
            drive pictures "$exe" "$language" "wizard$scale-$tag" >/dev/null
            exe=$(copy "init$scale-$tag" "" "${shipped[@]}" $page_order)
            respond x '{"path": "/rpc/installer-data-update", "status": 200, "delay_ms": 2000, "body": "@upl=from+server\r\n"}'
            drive initialization "$exe" "$language" "wizard$scale-$tag" >/dev/null
            exe=$(copy "countdown$scale-$tag" "${data}AutoLaunchWait=3\r\n" "${shipped[@]}" PageOrder=CWelcomePage,CFinishedPage)
            drive countdown "$exe" "$language" "wizard$scale-$tag-success" >/dev/null
        done
    done
    use_dpi 96
fi
if ls "$shots"/wizard-*.bmp >/dev/null 2>&1; then
    for picture in "$shots"/wizard-*.bmp; do
        convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
    done
fi
if wanted pictures; then
    for tag in en de es fr ja 144dpi-en 144dpi-de 144dpi-es 144dpi-fr 144dpi-ja; do
        for page in welcome license finished initialization about cancel-question success-finished; do
            expect "picture $tag $page shows that page" shows "wizard-$tag-$page" "${page#success-}"
        done
    done
fi
finish
