#!/usr/bin/env bash
# Builds the shipped executable of the last commit twice from nothing
# (scripts/release in two clean clones at two different paths), the second under a clock three days ahead (faketime,
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

# Two clean clones of the last commit at two different paths, each with its
# own copy of the bzip2 sources.
commit=$(git -C "$root" rev-parse HEAD)
for tree in "$work/first/src" "$work/elsewhere/second/src"; do
    git clone -q "$root" "$tree"
    git -C "$tree" checkout -q "$commit"
done
first=$("$work/first/src/scripts/release" --out "$work/first/out")
echo "$first" | sed 's/^/first:  /'
second=$(faketime -f '+3d' "$work/elsewhere/second/src/scripts/release" --out "$work/elsewhere/second/out")
echo "$second" | sed 's/^/second: /'

sha() { sed -n 's/^sha256: *//p' <<<"$1"; }
commit_time=$(git -C "$root" log -1 --format=%ct "$commit")
header_time=$(python3 - "$work/first/out/Wrenstall.exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
print(struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3c)[0] + 8)[0])
PY
)
status=0
if [ "$(sha "$first")" = "$(sha "$second")" ] && cmp -s "$work/first/out/Wrenstall.exe" "$work/elsewhere/second/out/Wrenstall.exe"; then
    echo "same bytes: yes ($(sha "$first"))"
else
    echo "same bytes: NO"; cmp -l "$work/first/out/Wrenstall.exe" "$work/elsewhere/second/out/Wrenstall.exe" | head -10
    status=1
fi
# What a receiver does with a maker's signed copy: remove the signature and
# compare with their own build.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/maker.key" -out "$work/maker.crt" -subj "/CN=Throw-away maker" \
    -days 1 >/dev/null 2>&1
osslsigncode sign -certs "$work/maker.crt" -key "$work/maker.key" -h sha256 \
    -in "$work/first/out/Wrenstall.exe" -out "$work/signed.exe" >/dev/null
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned-again.exe" >/dev/null
if cmp -s "$work/unsigned-again.exe" "$work/elsewhere/second/out/Wrenstall.exe"; then
    echo "a signed copy, its signature removed, is the other build: yes"
else
    echo "a signed copy, its signature removed, is the other build: NO"; status=1
fi
if [ "$header_time" = "$commit_time" ]; then
    echo "time stamp = last commit's time: yes ($(date -u -d "@$commit_time" '+%Y-%m-%d %H:%M:%S UTC'))"
else
    echo "time stamp = last commit's time: NO (header $header_time, commit $commit_time)"
    status=1
fi
if strings -a "$work/first/out/Wrenstall.exe" | grep -q -e "$work"; then
    echo "build machine paths in the executable: YES"; status=1
else
    echo "build machine paths in the executable: none"
fi
exit $status
