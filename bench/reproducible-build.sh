#!/usr/bin/env bash
# Builds the shipped executable twice from nothing (scripts/release), in two
# different folders, the second under a clock three days ahead (faketime,
# installed here if missing), and compares the bytes. Also checks that the
# time stamp in the file header, which the about box shows as the build
# time, is the last commit's time. Takes a few minutes: not part of
# scripts/test.
# usage: bench/reproducible-build.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps" >/dev/null
if ! command -v faketime >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends faketime >/dev/null
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/wrenstall-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

first=$("$root/scripts/release" --out "$work/first")
echo "$first" | sed 's/^/first:  /'
second=$(faketime -f '+3d' "$root/scripts/release" --out "$work/elsewhere/second")
echo "$second" | sed 's/^/second: /'

sha() { sed -n 's/^sha256: *//p' <<<"$1"; }
commit_time=$(git -C "$root" log -1 --format=%ct)
header_time=$(python3 - "$work/first/Wrenstall.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
print(struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3c)[0] + 8)[0])
PY
)
status=0
if [ "$(sha "$first")" = "$(sha "$second")" ] && cmp -s "$work/first/Wrenstall.exe" "$work/elsewhere/second/Wrenstall.exe"; then
    echo "same bytes: yes ($(sha "$first"))"
else
    echo "same bytes: NO"; cmp -l "$work/first/Wrenstall.exe" "$work/elsewhere/second/Wrenstall.exe" | head -10
    status=1
fi
if [ "$header_time" = "$commit_time" ]; then
    echo "time stamp = last commit's time: yes ($(date -u -d "@$commit_time" '+%Y-%m-%d %H:%M:%S UTC'))"
else
    echo "time stamp = last commit's time: NO (header $header_time, commit $commit_time)"
    status=1
fi
if strings -a "$work/first/Wrenstall.exe" | grep -q -e "$work" -e "$root"; then
    echo "build machine paths in the executable: YES"; status=1
else
    echo "build machine paths in the executable: none"
fi
exit $status
