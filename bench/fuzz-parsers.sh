#!/usr/bin/env bash
# Fuzzes every parser of outside input and prints, per parser: inputs run,
# crashes, hangs (inputs slower than one second) and the slowest input's time.
#  - natively with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
#    (clang) for the parsers that build without Windows (tests/fuzz/native);
#  - under Wine with the in-process seeded mutation loop (wrenstall-fuzz) for
#    all of them, the Windows-only HTTP header reading included.
# Crashing and hanging inputs are kept in $root/build/fuzz-findings; add each
# to tests/fuzz/corpus/<parser>/ once fixed.
# Usage: bench/fuzz-parsers.sh [RUNS_PER_PARSER]   (default 1000000; after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
runs=${1:-1000000}
fuzz="$run_build_dir/tests/wrenstall-fuzz.exe"
[ -x "$fuzz" ] || { echo "build first (scripts/test)"; exit 1; }
findings="$build_dir/fuzz-findings"
mkdir -p "$findings"
native_targets=(installer-data-utf8 installer-data-utf16 installer-data-trailer build-config server-answer msi-records)
status=0

echo "== native libFuzzer, ASan+UBSan, $runs runs per parser"
cmake -S "$root/tests/fuzz/native" -B "$root/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C "$root/build-fuzz" >/dev/null
printf '%-24s %10s %8s %6s %14s\n' parser inputs crashes hangs "slowest (ms)"
for target in "${native_targets[@]}"; do
    work=$(mktemp -d)
    log="$work/log"
    set +e
    (cd "$findings" && "$root/build-fuzz/fuzz-$target" -runs="$runs" -max_len=4096 -timeout=1 -seed=14 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work" "$root/tests/fuzz/corpus/$target") > "$log" 2>&1
    code=$?
    set -e
    inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    slowest=$(sed -n 's/^slowest input: \([0-9.]*\) ms/\1/p' "$log" | tail -1)
    crashes=$(grep -c -E '^==[0-9]+==ERROR|runtime error:|deadly signal' "$log" || true)
    hangs=$(grep -c 'ALARM: working on the last Unit for' "$log" || true)
    [ "$code" -ne 0 ] && [ "$crashes" -eq 0 ] && [ "$hangs" -eq 0 ] && crashes=1
    printf '%-24s %10s %8s %6s %14s\n' "$target" "${inputs:-?}" "$crashes" "$hangs" "${slowest:-?}"
    if [ "$crashes" -ne 0 ] || [ "$hangs" -ne 0 ]; then
        status=1
        grep -E 'ERROR|runtime error|Test unit written' "$log" | head -5
    fi
    rm -rf "$work"
done

echo "== Wine, in-process seeded mutation loop, $runs mutations per parser (plus its corpus)"
export WINEPREFIX="$run_build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then wineserver -p >/dev/null 2>&1 </dev/null || true; else start_wine "$WINEPREFIX"; fi
trap 'stop_wine' EXIT
set +e
wine "$fuzz" all --runs "$runs" --seed 14 --corpus "$(winepath -w "$root/tests/fuzz/corpus")" \
    --crashes "$(winepath -w "$findings")" | tr -d '\r'
code=${PIPESTATUS[0]}
set -e
[ "$code" -eq 3 ] && echo "the loop stopped at a crash (exit code 3); the input is in $findings"
[ "$code" -eq 4 ] && echo "the loop stopped at an endless input (exit code 4); the input is in $findings"
[ "$code" -ne 0 ] && status=1
exit $status
