#!/usr/bin/env bash
# Download throughput and memory: wrenstall-check fetch under Wine against
# curl, the same 512 MiB file from the stand-in server, in one run.
# Usage: bench/fetch-benchmark.sh [SIZE_MIB]   (after scripts/test or scripts/run built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
size_mib=${1:-512}
check="$build_dir/tools/check/wrenstall-check.exe"
[ -x "$check" ] || { echo "build first (scripts/test)"; exit 1; }
command -v curl >/dev/null && [ -x /usr/bin/time ] || { echo "needs curl and /usr/bin/time (scripts/install-deps)"; exit 1; }

export WINEPREFIX="$build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then
    wineserver -p >/dev/null 2>&1 </dev/null || true
else
    start_wine "$WINEPREFIX"
fi
trap stop_wine EXIT

run() {
    WRENSTALL_BENCH_MIB=$size_mib bash "$root/tests/server/with-server.sh" bash -c '
        set -euo pipefail
        head -c $((WRENSTALL_BENCH_MIB * 1024 * 1024)) /dev/urandom > "$WRENSTALL_SERVER_ROOT/big.bin"
        url="http://127.0.0.1:$WRENSTALL_SERVER_PORT/big.bin"
        out=$(mktemp -d)
        measure() {  # name, command...
            local name=$1; shift
            local start end
            start=$(date +%s.%N)
            /usr/bin/time -f "%M" -o "$out/rss" "$@" > /dev/null 2>&1
            end=$(date +%s.%N)
            echo "$name $(echo "$end - $start" | bc) $(cat "$out/rss")"
        }
        measure curl curl -s -o "$out/curl.bin" "$url"
        measure wrenstall wine "'"$check"'" fetch "$url" "Z:${out//\//\\}\\wrenstall.bin"
        cmp -s "$out/curl.bin" "$out/wrenstall.bin" || echo "MISMATCH: the two downloads differ"
        rm -rf "$out"
    '
}
results=$(run)
echo "$results" | grep MISMATCH && exit 1
read -r _ curl_s curl_kb <<< "$(echo "$results" | grep '^curl ')"
read -r _ ws_s ws_kb <<< "$(echo "$results" | grep '^wrenstall ')"
printf '%-28s %10s %12s %14s\n' "download of ${size_mib} MiB" "seconds" "MiB/s" "peak RSS MiB"
printf '%-28s %10.2f %12.1f %14.1f\n' "curl (reference)" "$curl_s" "$(echo "$size_mib / $curl_s" | bc -l)" "$(echo "$curl_kb / 1024" | bc -l)"
printf '%-28s %10.2f %12.1f %14.1f\n' "wrenstall-check fetch (Wine)" "$ws_s" "$(echo "$size_mib / $ws_s" | bc -l)" "$(echo "$ws_kb / 1024" | bc -l)"
printf 'throughput ratio wrenstall/curl: %.2f\n' "$(echo "$curl_s / $ws_s" | bc -l)"
