#!/usr/bin/env bash
# Parse time of installer data with 10^4, 10^5 and 10^6 keys: a trailer of
# that many lines "k<n>=v<n>" read by wrenstall-check data under Wine, beside
# the start of the same tool on a file without data. For reference, the
# item array grown by one element per key took 0.56 s for 10,000 keys,
# 13.4 s for 40,000 and 230 s for 160,000.
# Usage: bench/parse-benchmark.sh   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
check="$build_dir/tools/check/wrenstall-check.exe"
[ -x "$check" ] || { echo "build first (scripts/test)"; exit 1; }
export WINEPREFIX="$build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then wineserver -p >/dev/null 2>&1 </dev/null || true; else start_wine "$WINEPREFIX"; fi
work=$(mktemp -d)
trap 'stop_wine; rm -rf "$work"' EXIT

make_trailer() {  # keys, file
    python3 - "$1" "$2" <<'PY'
import struct, sys
keys, path = int(sys.argv[1]), sys.argv[2]
text = "".join("k%07d=v%d\r\n" % (i, i) for i in range(keys)).encode()
with open(path, "wb") as f:
    f.write(b"MZ program image" + text + struct.pack("<I", len(text)) + b"TWPL")
PY
}
seconds() {  # file; prints elapsed seconds and checks the key count
    local start end count
    start=$(date +%s.%N)
    count=$(wine "$check" data "Z:${1//\//\\}" 2>/dev/null | grep -c $'^k[0-9]*\t' || true)
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc) $count"
}
printf 'MZ no data' > "$work/empty.exe"
read -r base _ <<< "$(seconds "$work/empty.exe")"
printf '%-12s %12s %16s %10s\n' keys "seconds" "minus start-up" "keys read"
printf '%-12s %12.2f %16s %10s\n' "0 (start-up)" "$base" "-" 0
for keys in 10000 100000 1000000; do
    make_trailer "$keys" "$work/t$keys.exe"
    read -r total count <<< "$(seconds "$work/t$keys.exe")"
    printf '%-12s %12.2f %16.2f %10s\n' "$keys" "$total" "$(echo "$total - $base" | bc)" "$count"
    [ "$count" -eq "$keys" ] || { echo "MISMATCH: $count keys read"; exit 1; }
done
