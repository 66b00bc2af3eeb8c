#!/usr/bin/env bash
# Writes the fuzzer's seed corpus into DIR: tiny PE32 and PE32+ files signed
# with the test PKI (with and without a nested signature), tagged in both
# layouts, and the malformed shapes the tool must refuse. The corpus kept in
# the tree (corpus/) was made with it; run it again after a layout change.
#   make-corpus.sh DIR WRENSTALL-TAG
set -euo pipefail
out=${1:?corpus directory}
tag=${2:?host wrenstall-tag}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

"$here/../../../tests/pki/make-test-pki.sh" "$work/pki" >/dev/null 2>&1
printf 'int start(void){return 0;}\n' > "$work/tiny.c"
i686-w64-mingw32-gcc -O2 -nostdlib -s -Wl,-e,_start -o "$work/pe32.exe" "$work/tiny.c"
x86_64-w64-mingw32-gcc -O2 -nostdlib -s -Wl,-e,start -o "$work/pe32plus.exe" "$work/tiny.c"
sign() { osslsigncode sign -certs "$work/pki/$3.crt" -key "$work/pki/$3.key" -h sha256 $4 -in "$1" -out "$2" >/dev/null; }
printf '?NoxOffer=enabled\r\n@upl=dG9rZW4=\r\nplain=x\r\n' > "$work/data.txt"

for pe in pe32 pe32plus; do
    sign "$work/$pe.exe" "$out/$pe-signed" A ""
    sign "$out/$pe-signed" "$out/$pe-nested" B -nest
    for base in signed nested; do
        cp "$out/$pe-$base" "$out/$pe-$base-appended"
        "$tag" add "$out/$pe-$base-appended" "$work/data.txt"
        cp "$out/$pe-$base" "$out/$pe-$base-strict"
        "$tag" add "$out/$pe-$base-strict" "$work/data.txt" --strict
    done
done
cp "$work/pe32.exe" "$out/pe32-unsigned"
# Last certificate entries shorter than 16 bytes that end in the magic.
for length in 12 15; do
    python3 "$here/../../../tests/tag/pe_certificate.py" short-entry "$out/pe32-signed" "$out/pe32-short-entry-$length" $length
done
