#!/usr/bin/env bash
# The tag tool's libFuzzer driver (ASan + UBSan) over PE images, certificate
# tables, PKCS #7 signatures and both trailer layouts, for a long seeded run
# from the corpus kept in the tree. Prints inputs run, crashes, hangs (an input
# over 10 s) and the slowest input's time, beside the reference.
# Usage: bench/tag-fuzz-benchmark.sh [INPUTS] [SEED]   (builds the driver with clang when missing)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
inputs=${1:-1000000}
seed=${2:-1}
fuzzer="$build_dir/host/fuzz/wrenstall-tag-fuzzer"
if [ ! -x "$fuzzer" ]; then
    cmake -S "$root/tools/tag" -B "$build_dir/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER=clang++ -DWRENSTALL_TAG_FUZZER=ON >/dev/null
    ninja -C "$build_dir/host" wrenstall-tag-fuzzer >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
cp "$root/tools/tag/fuzz/corpus/"* "$work/corpus/"

set +e
WRENSTALL_FUZZ_TIMING=1 "$fuzzer" -seed="$seed" -runs="$inputs" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" > "$work/log" 2>&1
status=$?
set -e

run=$(sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\1/p' "$work/log")
seconds=$(sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\2/p' "$work/log")
# A run stopped by a crash or a hang has no "Done" line; its last status line counts.
[ -n "$run" ] || run=$(grep -oE '^#[0-9]+' "$work/log" | tail -1 | tr -d '#')
crashes=$(ls "$work/artifacts" | grep -cE '^(crash|leak|oom)-' || true)
hangs=$(ls "$work/artifacts" | grep -cE '^(timeout|slow-unit)-' || true)
slowest=$(sed -nE 's/^slowest input: ([0-9]+) us$/\1/p' "$work/log" | tail -1)

echo "wrenstall-tag fuzzer (seed $seed, corpus of $(ls "$work/corpus" | wc -l) inputs at the end)"
printf '  %-16s %12s   %s\n' "" measured reference
printf '  %-16s %12s   %s\n' "inputs run" "${run:-0}" "at least 1000000"
printf '  %-16s %12s   %s\n' "crashes" "$crashes" 0
printf '  %-16s %12s   %s\n' "hangs" "$hangs" "0 (an input over 10 s)"
printf '  %-16s %12s   %s\n' "slowest input" "${slowest:-?} us" "-"
printf '  %-16s %12s   %s\n' "wall time" "${seconds:-?} s" "-"
if [ "$status" -ne 0 ]; then
    echo "the fuzzer stopped (exit $status); its report:"
    grep -A 30 -E '^==[0-9]+==|ERROR|SUMMARY' "$work/log" | head -60
    for artifact in "$work/artifacts"/*; do [ -e "$artifact" ] && cp "$artifact" "$root/build/"; done
    echo "artifacts copied to $root/build/"
    exit 1
fi
