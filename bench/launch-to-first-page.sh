#!/usr/bin/env bash
# Launch to first page: from process start to the wizard's welcome page
# painted, against a bare Win32 dialog of ours started the same way under the
# same Wine, in one run; both measured by WizardDriver (a visible button 1002
# and nothing left to paint). Prints both medians and their ratio (aim: 1.3 at most).
# Usage: bench/launch-to-first-page.sh [RUNS]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
runs=${1:-9}
driver="$run_build_dir/tests/WizardDriver.exe"
bare="$run_build_dir/tests/BareDialog.exe"
wizard="$run_build_dir/Wrenstall.exe"
for program in "$driver" "$bare" "$wizard"; do [ -f "$program" ] || { echo "build first: $program"; exit 1; }; done

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

measure() {  # name, program
    wine "$driver" launch "$(winpath "$2")" 1 >/dev/null 2>&1 || true  # warm-up: caches and the wineserver
    wine "$driver" launch "$(winpath "$2")" "$runs" 2>/dev/null | tr -d '\r' | sed -n 's/^median \(.*\) ms$/\1/p'
}
bare_ms=$(measure bare "$bare")
wizard_ms=$(measure wizard "$work/setup.exe")
echo "launch to first page painted, median of $runs runs under $(wine --version):"
echo "  bare Win32 dialog: $bare_ms ms"
echo "  Wrenstall welcome: $wizard_ms ms"
python3 -c "print('  ratio: %.2f (aim: at most 1.30)' % ($wizard_ms / $bare_ms))"
