#!/usr/bin/env bash
# Launch to first page: from process start to the wizard's welcome page
# painted, against two references started the same way under the same Wine,
# in one run, interleaved: a bare Win32 dialog of ours, and the floor (the
# same dialog after the start-up work the wizard must do before its first
# window). All measured by WizardDriver (a visible button 1002 and nothing
# left to paint). Prints the medians and the ratios; the wizard's own part is
# what it takes above the floor (aim: wizard/floor at most 1.15). A page
# streams its licence text in right after its first paint, so the wizard's
# figure ends at that paint with the licence box still empty; the text is laid
# out and drawn after it (the run log's "Page 101 painted" line is that moment).
# Usage: bench/launch-to-first-page.sh [RUNS]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
runs=${1:-9}
# Without DISPLAY the runs happen in a virtual display of their own.
if [ -z "${DISPLAY:-}" ]; then in_display "$0" "$@"; exit; fi
driver="$run_build_dir/tests/WizardDriver.exe"
bare="$run_build_dir/tests/BareDialog.exe"
floor="$run_build_dir/tests/FloorDialog.exe"
wizard="$run_build_dir/Wrenstall.exe"
for program in "$driver" "$bare" "$floor" "$wizard"; do [ -f "$program" ] || { echo "build first: $program"; exit 1; }; done

export WINEPREFIX="$run_build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then
    wineserver -p >/dev/null 2>&1 </dev/null || true
else
    start_wine "$WINEPREFIX"
fi
trap stop_wine EXIT
work=$(mktemp -d)
trap 'rm -rf "$work"; stop_wine' EXIT
winpath() { echo "Z:${1//\//\\}"; }
# Local installer data: the welcome page comes first, without a server fetch.
cp "$wizard" "$work/setup.exe"
printf '@upl=bench\r\n' > "$work/setup.exe.installer_data"

once() {  # program: the time of one launch in ms; a launch the driver cannot time ends the script
    local ms
    ms=$(wine "$driver" launch "$(winpath "$1")" 1 2>/dev/null | tr -d '\r' | sed -n 's/^median \(.*\) ms$/\1/p')
    [ -n "$ms" ] || { echo "no time for $1: the driver saw no first page" >&2; exit 1; }
    echo "$ms"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for program in "$bare" "$floor" "$work/setup.exe"; do (once "$program") >/dev/null 2>&1 || true; done  # warm-up
: > "$work/bare"; : > "$work/floor"; : > "$work/wizard"
# Interleaved, so that a slow moment of the machine falls on all three alike.
for _ in $(seq 1 "$runs"); do
    once "$bare" >> "$work/bare"
    once "$floor" >> "$work/floor"
    once "$work/setup.exe" >> "$work/wizard"
done
bare_ms=$(median < "$work/bare")
floor_ms=$(median < "$work/floor")
wizard_ms=$(median < "$work/wizard")
echo "launch to first page painted, median of $runs interleaved runs under $(wine --version):"
echo "  bare Win32 dialog:                $bare_ms ms"
echo "  floor (required start-up + bare): $floor_ms ms"
echo "  Wrenstall welcome:                $wizard_ms ms"
python3 -c "print('  wizard/bare:  %.2f' % ($wizard_ms / $bare_ms)); print('  wizard/floor: %.2f (aim: at most 1.15)' % ($wizard_ms / $floor_ms))"
