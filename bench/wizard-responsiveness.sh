#!/usr/bin/env bash
# How long the wizard's frame takes to answer a sent message (WM_NULL, one
# every 10 ms, timed by WizardDriver) while it downloads a large payload and
# while the Windows Installer runs the package, beside an idle bare Win32
# dialog of ours under the same Wine, in one run. The aim: the worst answer
# under 100 ms. The large payload is random bytes (no package): the run ends
# once its download is over. Everything is served by the stand-in server on a
# free 127.0.0.1 port; without DISPLAY the runs happen in Xvfb.
# Usage: bench/wizard-responsiveness.sh [SIZE_MIB=256]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
source "$(dirname "$0")/lib/wizard-runs.sh"
size_mib=${1:-256}
[[ "$size_mib" =~ ^[1-9][0-9]*$ ]] || { echo "SIZE_MIB is a positive whole number"; exit 2; }
driver=$wizard_driver
bare="$run_build_dir/tests/BareDialog.exe"
require_built "$driver" "$bare" "$wizard_program" "$wizard_fixtures/package-A.msi.bz2"
rerun_with_server_and_display "$size_mib"

export WINEPREFIX="$run_build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then
    wineserver -p >/dev/null 2>&1 </dev/null || true
else
    start_wine "$WINEPREFIX"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; stop_wine' EXIT
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"
mkdir -p "$WRENSTALL_SERVER_ROOT/kelvora"
head -c "$((size_mib << 20))" /dev/urandom > "$WRENSTALL_SERVER_ROOT/kelvora/large.bin.bz2"
cp "$wizard_fixtures/package-A.msi.bz2" "$WRENSTALL_SERVER_ROOT/kelvora/package.msi.bz2"

# copy NAME PAYLOAD_PATH: the wizard on this server, signed with test key A
# like the package, with local installer data; prints its path.
copy() {
    local exe
    exe=$(signed_wizard_copy "$work/$1" "$base$2")
    printf '@upl=bench\r\nMaxOffers=0\r\n' > "$exe.installer_data"
    echo "$exe"
}
uninstall() { uninstall_kelvora; }
figures() { tr -d '\r' | grep -E "^(idle dialog|download|install): " | sed 's/^/  /'; }

echo "answer time of a sent message under $(wine --version), one sample every 10 ms (aim: worst under 100 ms):"
wine "$driver" idle-answers "$(winpath "$bare")" 300 2>/dev/null | figures
large=$(copy large /kelvora/large.bin.bz2)
wine "$driver" run responsiveness-download "$(winpath "$large")" 2>/dev/null | figures | sed "s/download:/download of $size_mib MiB:/"
uninstall
package=$(copy package /kelvora/package.msi.bz2)
wine "$driver" run responsiveness "$(winpath "$package")" 2>/dev/null | figures | grep "install:" | sed 's/install:/Windows Installer run:/'
uninstall
