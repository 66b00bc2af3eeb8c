#!/usr/bin/env bash
# From the Yes to the cancel question to the interrupted page, in each state a
# person may cancel in: the initialization page's request to a server that
# takes it and never answers, a download in progress (one 64 KiB piece every
# 4 s), a download whose body stops (after 64 KiB, for ten minutes), the
# payload unpacking, the install step begun (signature check, then the
# installer; with a package of 64 MiB, whose check takes a while), and the
# download of each offer held up the same way. The real
# signed wizard under Xvfb (WizardDriver clocks it) against the stand-in
# server on a free 127.0.0.1 port; beside it in the same run the same measure
# of REFERENCE, a Wrenstall.exe built from an earlier commit (for example the
# commit before the cancellation of blocked requests). Aim: under 1 s each.
# Usage: [STATES="verifying ..."] [VERIFY_MB=64] bench/cancel-to-interrupted.sh [REFERENCE_EXE [RUNS=1]]
#   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
source "$(dirname "$0")/lib/wizard-runs.sh"
source "$root/tests/script-support.sh"  # write_unpacking_bomb
reference=${1:-}
runs=${2:-1}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "RUNS is a positive whole number"; exit 2; }
[ -z "$reference" ] || reference=$(realpath "$reference")
require_built "$wizard_driver" "$wizard_program" "$wizard_fixtures/package-A.msi.bz2" ${reference:+"$reference"}
rerun_with_server_and_display "$reference" "$runs"

export WINEPREFIX="$run_build_dir/wineprefix-bench-cancel"
start_wine "$WINEPREFIX"
# Xvfb has no window manager, and Wine's X11 driver waits up to 2 s for one
# to confirm that a closed box is withdrawn before it goes on: that wait,
# not the wizard, would be timed after every Yes. Unmanaged windows (as Wine
# runs them in a virtual desktop) skip it; WRENSTALL_BENCH_MANAGED=Y times
# the bare display's wait as well.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "${WRENSTALL_BENCH_MANAGED:-N}" /f >/dev/null 2>&1
work=$(mktemp -d)
trap 'rm -rf "$work"; stop_wine' EXIT
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
payload=/kelvora/package.msi.bz2
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
cp "$wizard_fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/nox.exe.bz2"
cp "$wizard_fixtures/offer-A.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/gearfresh.exe.bz2"
temp_folder=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)
control() { curl -s -X POST -d "$2" "$base/__control/$1" >/dev/null; }
fault() { control fault "{\"path\": \"$1\", \"faults\": [$2]}"; }
stall='{"stall_after": 65536, "stall_ms": 600000}'

# copy PROGRAM NAME DATA: PROGRAM configured for this server with both offers'
# addresses, signed, with that installer data (none when DATA is "-").
copy() {
    local exe
    exe=$(wizard_program=$1 signed_wizard_copy "$work/$2" "$base$payload" \
        "NoxUrl=$base/offers/nox.exe.bz2" "GearfreshEnUrl=$base/offers/gearfresh.exe.bz2")
    [ "$3" = - ] || printf '%b' "$3" > "$exe.installer_data"
    echo "$exe"
}
# A package large enough that its check takes a while (the application and
# VERIFY_MB MiB of random data, default 64), signed with key A like the others:
# with the small test package the check is over before the Yes.
large_package=
make_large_package() {
    local dir="$work/large" arch=(-a x86 -D ProgramFilesFolder=ProgramFilesFolder -D Win64=no)
    [ "${WINEARCH:-}" = win64 ] && arch=(-a x64 -D ProgramFilesFolder=ProgramFiles64Folder -D Win64=yes)
    mkdir -p "$dir"
    cp "$wizard_fixtures/Kelvora.exe" "$dir/Kelvora.exe"
    head -c $((${VERIFY_MB:-64} * 1024 * 1024)) /dev/urandom > "$dir/Padding.bin"
    python3 - "$root/tests/fixtures/KelvoraPackage.wxs" "$dir/Large.wxs" <<'PY'
import sys
text = open(sys.argv[1]).read()
padding = ('<Component Id="Padding" Win64="$(var.Win64)" Guid="{5E0A7C1D-3B2F-4D6E-8A90-1C2B3D4E5F60}">'
           '<File Id="PaddingBin" Name="Padding.bin" Source="Padding.bin" KeyPath="yes"/></Component>')
text = text.replace("</Component>", "</Component>" + padding, 1)
text = text.replace('<ComponentRef Id="GivenProperties"/>', '<ComponentRef Id="GivenProperties"/><ComponentRef Id="Padding"/>')
open(sys.argv[2], "w").write(text)
PY
    (cd "$dir" && wixl "${arch[@]}" -o Large.msi Large.wxs)
    osslsigncode sign -certs "$wizard_fixtures/pki/A-chain.crt" -key "$wizard_fixtures/pki/A.key" -h sha256 \
        -in "$dir/Large.msi" -out "$dir/Large-A.msi" >/dev/null
    bzip2 -1 -c "$dir/Large-A.msi" > "$dir/Large-A.msi.bz2"
    large_package="$dir/Large-A.msi.bz2"
}
# prepare STATE: the server's files and faults for that state; prints the installer data.
prepare() {
    control reset '{}'
    cp "$wizard_fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT$payload"
    local data='@upl=bench\r\nMaxOffers=0\r\n'
    case $1 in
        initialization)
            control respond '{"path": "/rpc/installer-data-update", "status": 200, "body": "", "delay_ms": 600000}'
            data=- ;;
        download) fault "$payload" '{"trickle_ms": 4000}' ;;
        stalled) fault "$payload" "$stall" ;;
        unpacking) write_unpacking_bomb "$WRENSTALL_SERVER_ROOT$payload" ;;
        verifying) cp "$large_package" "$WRENSTALL_SERVER_ROOT$payload" ;;
        nox-offer)
            fault /offers/nox.exe.bz2 "$stall"
            data='@upl=bench\r\nMaxOffers=1\r\nNoxOffer=enabled\r\n' ;;
        gearfresh-offer)
            fault /offers/gearfresh.exe.bz2 "$stall"
            data='@upl=bench\r\nMaxOffers=1\r\nGearfreshOffer=enabled\r\n' ;;
    esac
    echo "$data"
}
# measure PROGRAM STATE: milliseconds from the Yes to the interrupted page, or what happened instead.
measure() {
    local data exe line
    data=$(prepare "$2")
    local tag=new
    [ "$1" = "$wizard_program" ] || tag=reference
    exe=$(copy "$1" "$2-$tag" "$data")
    uninstall_kelvora
    wine "$wizard_driver" run "cancel-timing-$2" "$(winpath "$exe")" 2>/dev/null | tr -d '\r' > "$work/driver.out" || true
    line=$(grep "^cancel " "$work/driver.out" || true)
    local figure
    case $line in
        *"was interrupted") figure=$(echo "$line" | sed 's/.*: \([0-9]*\) ms.*/\1 ms/') ;;
        *"wizard ended") figure=$(echo "$line" | sed 's/.*: \([0-9]*\) ms.*/\1 ms (close to end)/') ;;
        "") figure="no figure" ;;
        *) figure=$(echo "$line" | sed 's/^cancel [^:]*: //') ;;
    esac
    local gone
    gone=$(sed -n 's/^the question went \([0-9]*\) ms after the Yes/ (box gone at \1)/p' "$work/driver.out")
    echo "$figure$gone$(controller_stop_ms)"
}
# From the controller's "Cancel" line to the end of its work, in the last
# run's own log (the wizard's side of the figure, without the question box).
controller_stop_ms() {
    local log
    log=$(ls -t "$temp_folder"/*-setup-*.log 2>/dev/null | head -n 1)
    [ -n "$log" ] || return 0
    tr -d '\r' < "$log" | awk '
        function ms(t) { split(t, p, ":"); return (p[1] * 3600 + p[2] * 60 + p[3]) * 1000 }
        /Cancel/ && !start { start = ms($1) }
        start && /Installation controller finished|The installation controller has ended/ { printf " [controller %d ms]", ms($1) - start; exit }'
}

make_large_package
echo "from Yes to the interrupted page under $(wine --version), $runs run(s) per state (aim: under 1 s):"
echo "  reference: ${reference:-none given}"
echo "  (box gone: when the question had disappeared, to 50 ms; under Xvfb, which has no window manager,"
echo "   Wine waits about 2 s for one when it hides a box. In brackets: from the wizard's own log line"
echo "   of the cancel to the controller's end.)"
printf '  %-16s %-40s %s\n' state reference "this build"
for state in ${STATES:-initialization download stalled unpacking verifying nox-offer gearfresh-offer}; do
    for run in $(seq 1 "$runs"); do
        before="-"
        [ -n "$reference" ] && before=$(measure "$reference" "$state")
        after=$(measure "$wizard_program" "$state")
        printf '  %-16s %-40s %s\n' "$state" "$before" "$after"
    done
done
uninstall_kelvora
