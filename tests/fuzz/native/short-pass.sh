#!/usr/bin/env bash
# The native libFuzzer targets (ASan+UBSan) over the corpus in the tree and a
# short seeded run of mutations each; fails on any crash, sanitizer report or
# hang. Usage: short-pass.sh BUILD_DIR [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
runs=${2:-2000}
command -v clang++ >/dev/null || { echo "clang++ is missing (scripts/install-deps)"; exit 1; }
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
ninja -C "$build" >/dev/null
status=0
for fuzzer in "$build"/fuzz-*; do
    target=${fuzzer##*/fuzz-}
    work=$(mktemp -d)
    if (cd "$work" && "$fuzzer" -runs="$runs" -seed=14 -max_len=4096 -timeout=1 "$work" "$here/../corpus/$target") \
        > "$work/log" 2>&1; then
        echo "$target: $(grep -o 'Done [0-9]* runs' "$work/log")"
    else
        echo "$target: FAILED"
        grep -E 'ERROR|runtime error|Test unit written' "$work/log" | head -5
        status=1
    fi
    rm -rf "$work"
done
exit $status
