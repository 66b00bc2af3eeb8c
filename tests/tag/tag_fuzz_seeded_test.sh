#!/usr/bin/env bash
# A short seeded libFuzzer pass of the tag tool's parsing over the corpus kept
# in the tree (bench/tag-fuzz.sh runs the long one). The corpus is copied so
# the pass adds nothing to the tree.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
fuzzer=${1:?wrenstall-tag-fuzzer}
corpus=${2:?corpus directory}
runs=${3:-20000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$corpus"/* "$work/corpus/"
expect "the fuzzer is built" '[ -x "$fuzzer" ]'
"$fuzzer" -seed=1 -runs="$runs" -max_len=20000 -timeout=10 -artifact_prefix="$work/" "$work/corpus" > "$work/log" 2>&1
status=$?
tail -3 "$work/log"
expect "$runs seeded inputs run without a crash, hang or broken promise" \
    '[ $status -eq 0 ] && grep -q "^Done $runs runs" "$work/log" && [ -z "$(ls "$work" | grep -E "^(crash|timeout|leak|oom)-")" ]'
finish
