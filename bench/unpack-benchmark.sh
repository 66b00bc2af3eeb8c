#!/usr/bin/env bash
# bzip2 extraction: wrenstall-check unpack (CBzFile over libbzip2, 64 KiB
# blocks) under Wine against native bzip2 -dc, the same file in one run.
# Usage: bench/unpack-benchmark.sh [SIZE_MIB]   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
size_mib=${1:-256}
check="$build_dir/tools/check/wrenstall-check.exe"
[ -x "$check" ] || { echo "build first (scripts/test)"; exit 1; }
export WINEPREFIX="$build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then wineserver -p >/dev/null 2>&1 </dev/null || true; else start_wine "$WINEPREFIX"; fi
work=$(mktemp -d)
trap 'stop_wine; rm -rf "$work"' EXIT

# Compressible but not trivial: base64 of random bytes.
head -c $((size_mib * 1024 * 1024 * 3 / 4)) /dev/urandom | base64 -w 0 | head -c $((size_mib * 1024 * 1024)) > "$work/data"
bzip2 -k -c "$work/data" > "$work/data.bz2"
measure() {  # name, command...
    local name=$1; shift
    local start end
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$work/rss" "$@" > /dev/null 2>&1
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc) $(cat "$work/rss")"
}
read -r native_s native_kb <<< "$(measure native bash -c "bzip2 -dc '$work/data.bz2' > '$work/native.out'")"
read -r ws_s ws_kb <<< "$(measure wrenstall wine "$check" unpack "Z:${work//\//\\}\\data.bz2" "Z:${work//\//\\}\\wrenstall.out")"
cmp -s "$work/native.out" "$work/wrenstall.out" || { echo "MISMATCH: the outputs differ"; exit 1; }
printf '%-32s %10s %12s %14s\n' "extraction of ${size_mib} MiB" "seconds" "MiB/s" "peak RSS MiB"
printf '%-32s %10.2f %12.1f %14.1f\n' "bzip2 -dc (reference)" "$native_s" "$(echo "$size_mib / $native_s" | bc -l)" "$(echo "$native_kb / 1024" | bc -l)"
printf '%-32s %10.2f %12.1f %14.1f\n' "wrenstall-check unpack (Wine)" "$ws_s" "$(echo "$size_mib / $ws_s" | bc -l)" "$(echo "$ws_kb / 1024" | bc -l)"
printf 'throughput ratio wrenstall/native: %.2f\n' "$(echo "$native_s / $ws_s" | bc -l)"
