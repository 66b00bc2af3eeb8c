#!/usr/bin/env bash
# The download fault matrix: RUNS transfers of a SIZE_MIB file through
# wrenstall-check fetch under Wine, each with a random scenario of the
# stand-in server (clean, break then 206, 200 ignoring Range, lying
# Content-Length, wrong Content-Range, no Content-Length, changed file, 5xx
# then success, stall) and a random break point. Prints one row of outcomes
# per scenario; a success with wrong bytes, or a file left in the temporary
# folder, fails the run. The tests run a short seeded pass of the same
# scenarios (Download.SeededFaultMatrix).
# Usage: bench/fault-matrix.sh [RUNS] [SIZE_MIB] [SEED]   (after scripts/test or scripts/run built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
runs=${1:-200}
size_mib=${2:-16}
seed=${3:-$RANDOM}
check="$run_build_dir/tools/check/wrenstall-check.exe"
[ -f "$check" ] || { echo "build first (scripts/test)"; exit 1; }

unset WINEPREFIX  # a freshly booted prefix of the bench's own
exec bash "$root/tests/in-own-prefix.sh" bash "$root/tests/server/with-server.sh" bash -c '
    temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d "\r")" 2>/dev/null)
    exec python3 "$0" --check "$1" --runs "$2" --size-mib "$3" --seed "$4" --temp "$temp"
' "$root/bench/fault_matrix.py" "$check" "$runs" "$size_mib" "$seed"
