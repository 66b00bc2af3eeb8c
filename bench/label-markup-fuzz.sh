#!/usr/bin/env bash
# Long seeded pass of random super-label markup through the parser, the piece
# splitter and the layout (the test run does 3000 rounds). Prints the rounds
# per second; any broken invariant fails the run.
# Usage: bench/label-markup-fuzz.sh [ROUNDS] [SEED]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
rounds=${1:-2000000}
seed=${2:-$(date +%s)}
tests="$run_build_dir/tests/wrenstall_tests.exe"
[ -x "$tests" ] || { echo "build first (scripts/test)"; exit 1; }
export WINEPREFIX="$run_build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then wineserver -p >/dev/null 2>&1 </dev/null || true; else start_wine "$WINEPREFIX"; fi
trap stop_wine EXIT
start=$(date +%s.%N)
WRENSTALL_LABEL_FUZZ_ROUNDS=$rounds WRENSTALL_LABEL_FUZZ_SEED=$seed \
    wine "$tests" --gtest_filter=SuperLabelMarkupFuzz.* > /dev/null 2>&1 || { echo "FAILED with seed $seed"; exit 1; }
end=$(date +%s.%N)
seconds=$(echo "$end - $start" | bc)
printf '%-40s %10s %14s\n' "super-label markup fuzz (seed $seed)" "seconds" "rounds/s"
printf '%-40s %10.2f %14.0f\n' "$rounds rounds of up to 48 units" "$seconds" "$(echo "$rounds / $seconds" | bc -l)"
