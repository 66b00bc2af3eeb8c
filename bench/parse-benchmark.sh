#!/usr/bin/env bash
# Parse time of installer data with 10^4, 10^5 and 10^6 keys (lines
# "k<n>=v<n>"), under Wine: the parse of the text alone and the load of the
# same text from a trailer at the end of a program file, then wrenstall-check
# data on that file end to end. For reference, the item array grown by one
# element per key took 0.56 s for 10,000 keys, 13.4 s for 40,000 and 230 s
# for 160,000; wanted: 1,000,000 keys in about a second.
# Usage: bench/parse-benchmark.sh   (after scripts/test built everything)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
select_runnable_build
timing="$run_build_dir/tests/wrenstall-parse-timing.exe"
check="$run_build_dir/tools/check/wrenstall-check.exe"
[ -x "$timing" ] && [ -x "$check" ] || { echo "build first (scripts/test)"; exit 1; }
export WINEPREFIX="$run_build_dir/wineprefix-bench"
if [ -d "$WINEPREFIX" ]; then wineserver -p >/dev/null 2>&1 </dev/null || true; else start_wine "$WINEPREFIX"; fi
work=$(mktemp -d)
trap 'stop_wine; rm -rf "$work"' EXIT
folder=$(winepath -w "$work")

for keys in 10000 100000 1000000; do
    wine "$timing" "$keys" "$folder" | tr -d '\r'
done

echo "wrenstall-check data end to end (Wine start-up and printing every entry included):"
python3 - "$work/t.exe" <<'PY'
import struct, sys
text = "".join("k%07d=v%d\r\n" % (i, i) for i in range(1000000)).encode()
with open(sys.argv[1], "wb") as f:
    f.write(b"MZ program image" + text + struct.pack("<I", len(text)) + b"TWPL")
PY
printf 'MZ no data' > "$work/empty.exe"
for name in empty t; do
    wine "$check" data "$(winepath -w "$work/$name.exe")" > /dev/null 2>&1 || true  # warm
    start=$(date +%s.%N)
    count=$(wine "$check" data "$(winepath -w "$work/$name.exe")" 2>/dev/null | grep -c $'^k[0-9]*\t' || true)
    end=$(date +%s.%N)
    printf '  %-28s %6.2f s, %s keys read\n' "$([ $name = t ] && echo "1000000 keys" || echo "no data (start-up)")" \
        "$(echo "$end - $start" | bc)" "$count"
done
