#!/usr/bin/env bash
# One run of the chaos walk (bench/chaos_walk.py chooses it): in a virtual
# display, a Wine prefix and a stand-in server of its own, the signed wizard
# with the run's build configuration and installer data (trailer, file, the
# one-shot debug value, or the server's answer), the server's faults scripted
# per request, WizardDriver's seeded walk; then the facts the invariants are
# checked against, one "fact NAME: VALUE" line each, after the driver's lines.
# Usage: bench/lib/chaos-run.sh RUN.json   (the template prefix in WINEPREFIX)
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
select_runnable_build
config=${1:?RUN.json}
if [ -z "${WRENSTALL_CHAOS_INSIDE:-}" ]; then
    export WRENSTALL_CHAOS_INSIDE=1
    # Each run has a display of its own: real key presses go to the focused
    # window of that display, never to another run's wizard.
    in_display bash "$root/tests/in-own-prefix.sh" bash "$root/tests/server/with-server.sh" bash "$0" "$@" 2>/dev/null
    exit
fi
source "$root/tests/script-support.sh"
source "$root/bench/lib/wizard-runs.sh"
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
fixtures=$wizard_fixtures
setting() { python3 -c 'import json, sys; v = json.load(open(sys.argv[1]))[sys.argv[2]]; print(v if isinstance(v, str) else json.dumps(v))' "$config" "$1"; }
control() { curl -s -X POST -d "$2" "$base/__control/$1" >/dev/null; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
payload=/kelvora/Kelvora-setup.msi.bz2
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora" "$WRENSTALL_SERVER_ROOT/offers"
case $(setting payload) in
    foreign) cp "$fixtures/package-C.msi.bz2" "$WRENSTALL_SERVER_ROOT$payload" ;;
    bomb) write_unpacking_bomb "$WRENSTALL_SERVER_ROOT$payload" ;;
    missing) ;;
    *) cp "$fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT$payload" ;;
esac
for offer in nox gearfresh; do
    key=A
    [ "$(setting "${offer}_file")" = foreign ] && key=C
    cp "$fixtures/offer-$key.exe.bz2" "$WRENSTALL_SERVER_ROOT/offers/$offer-setup.exe.bz2"
done

# The wizard: this server everywhere, signed with key A like the package.
mapfile -t build < <(python3 -c 'import json, sys; print("\n".join(json.load(open(sys.argv[1]))["build"]))' "$config")
folder="$work/wizard"
mkdir -p "$folder"
wine "$wizard_driver" config "$(winpath "$wizard_program")" "$(winpath "$folder/unsigned.exe")" ProductCode=TW6 \
    'AppExe=%ProgramFiles%\Kelvora\Kelvora.exe' "TrackingEndpoint=$base" "RpcEndpoint=$base" \
    "Payload=CMsiExecutor|$base$payload" "NoxUrl=$base/offers/nox-setup.exe.bz2" \
    "GearfreshEnUrl=$base/offers/gearfresh-setup.exe.bz2" "${build[@]}" >/dev/null 2>&1
exe="$folder/setup.exe"
sign_with_key_a "$folder/unsigned.exe" "$exe"
setting data > "$work/data.txt"
debug_key='HKCU\Software\Tarnwell Utilities Inc\Wrenstall\DebugInstallerData'
case $(setting source) in
    trailer) "$build_dir/host/wrenstall-tag" add "$exe" "$work/data.txt" >/dev/null ;;
    file) cp "$work/data.txt" "$exe.installer_data" ;;
    debug)
        wine reg add "$debug_key" /v IDPF /t REG_MULTI_SZ /d "$(tr -d '\r' < "$work/data.txt" | sed ':a;N;$!ba;s/\n/\\0/g')" /f >/dev/null 2>&1 ;;
    server) ;;
esac
# The server's behaviour, per request of each path.
python3 - "$config" "$payload" <<'EOF' > "$work/faults"
import json, sys
run = json.load(open(sys.argv[1]))
for path, faults in (("payload", sys.argv[2]), ("nox", "/offers/nox-setup.exe.bz2"),
                     ("gearfresh", "/offers/gearfresh-setup.exe.bz2")):
    if run[path + "_faults"]:
        print(json.dumps({"path": faults, "faults": run[path + "_faults"]}))
EOF
while read -r line; do control fault "$line"; done < "$work/faults"
[ "$(setting source)" = server ] && control respond "$(setting rpc)"

# No window manager runs in the virtual display: Wine then waits 2 s for one
# to confirm every hidden top-level window (a closed box, the frame at the
# end) while the wizard's queue fills with what the person does. Unmanaged
# windows are hidden at once, as on Windows.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 5 -type d -iname temp | head -n 1)
work_base="$WINEPREFIX/drive_c/windows/temp"
left_files() { find "$temp" "$work_base" -type f ! -name '*-setup-*.log' 2>/dev/null | sort; }
left_files > "$work/files-before"
export WRENSTALL_RECORD_FILE="$(winpath "$work/started.txt")"

wine "$wizard_driver" chaos "$(winpath "$exe")" "$(setting seed)" "${WRENSTALL_CHAOS_ACTIONS:-$(setting actions)}" 2>/dev/null | tr -d '\r' | tee "$work/walk"
pid=$(sed -n 's/^pid [0-9]*: //p' "$work/walk")

# Helpers the run started (the wizard, a second one, the installed
# application, the offers' setups) end on their own within the bound.
helpers() { own_processes 'setup\.exe|Kelvora\.exe|(nox|gfp)[^ ]*\.exe|msiexec' | while read -r p; do tr '\0' ' ' < "/proc/$p/cmdline"; echo; done; }
wait_until 20 '[ -z "$(helpers)" ]'
echo "fact helpers: $(helpers | tr '\n' ';')"
curl -s "$base/__control/settled" >/dev/null
echo "fact installed: $([ -f "$WINEPREFIX/drive_c/Program Files/Kelvora/Kelvora.exe" ] && echo yes || echo no)"
requests | sed 's/^/fact request: /'
[ -f "$work/started.txt" ] && tr -d '\r' < "$work/started.txt" | sed 's/^/fact started: /'
# Files of the run left behind: started offer setups may still be held, and go at the next restart.
started_setups=$(tr -d '\r' < "$work/started.txt" 2>/dev/null | grep -oE '(nox|gfp)[^\\/" ]*\.exe' | sort -u)
wait_until 10 '[ -z "$(comm -13 "$work/files-before" <(left_files) | grep -vF "${started_setups:-^}")" ]'
comm -13 "$work/files-before" <(left_files) | grep -vF "${started_setups:-^}" | sed "s|^$WINEPREFIX/||; s/^/fact left: /"
wine reg query "$debug_key" >/dev/null 2>&1 && echo "fact debug value: still there" || echo "fact debug value: gone"
log=$(ls "$temp"/*-setup-*-"$pid".log 2>/dev/null | head -n 1)
if [ -n "$pid" ] && [ -f "$log" ]; then
    tr -d '\r' < "$log" | tail -n 30 | sed 's/^/log: /'
    echo "fact log last line: $(tr -d '\r' < "$log" | grep -v '^$' | tail -n 1 | cut -c 1-200)"
else
    echo "fact log last line: (no run log)"
fi
