#!/usr/bin/env bash
# wrenstall-check unpack, package and version on real files.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
check=${1:?wrenstall-check.exe}
standin=${2:?StandInApp.exe}
package=${3:?KelvoraPackage.msi}
result() { tr -d '\r' | tail -n 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 3000000 /dev/urandom > "$work/data.bin"
bzip2 -k -c "$work/data.bin" > "$work/data.bin.bz2"
expect "unpack restores the bytes" \
    '[ "$(wine "$check" unpack "$(winpath "$work/data.bin.bz2")" "$(winpath "$work/out.bin")" 2>/dev/null | result)" = "result: 0x00000000" ] && cmp -s "$work/out.bin" "$work/data.bin"'
expect "unpack replaces an output file that is there" \
    'printf stale > "$work/out.bin" && [ "$(wine "$check" unpack "$(winpath "$work/data.bin.bz2")" "$(winpath "$work/out.bin")" 2>/dev/null | result)" = "result: 0x00000000" ] && cmp -s "$work/out.bin" "$work/data.bin"'
head -c 100000 "$work/data.bin.bz2" > "$work/truncated.bz2"
expect "a truncated file fails with the file error's code" \
    '[ "$(wine "$check" unpack "$(winpath "$work/truncated.bz2")" "$(winpath "$work/t.bin")" 2>/dev/null | result)" = "result: 0x8007000D" ]'
expect "a file that is not bzip2 fails the same way" \
    '[ "$(wine "$check" unpack "$(winpath "$work/data.bin")" "$(winpath "$work/n.bin")" 2>/dev/null | result)" = "result: 0x8007000D" ]'
expect "a missing file is reported as such" \
    '[ "$(wine "$check" unpack "$(winpath "$work/missing.bz2")" "$(winpath "$work/m.bin")" 2>/dev/null | result)" = "result: 0x80070002" ]'

out=$(wine "$check" package "$(winpath "$package")" 2>/dev/null | tr -d '\r')
expect "package prints the product code, version and state" \
    '[ "$out" = $'"'"'ProductCode: {6C1B5C2E-2F7A-4C59-9A57-5E0F2D6B7A11}\nProductVersion: 2.4.1.7\ninstalled: no'"'"' ]'

out=$(wine "$check" version "$(winpath "$standin")" 2>/dev/null | tr -d '\r')
expect "version prints the twelve strings" '[ "$(echo "$out" | wc -l)" -eq 13 ] && echo "$out" | grep -qx "ProductName: Kelvora"'
expect "version prints the fixed file version" 'echo "$out" | grep -qx "fixed file version: 2.4.1.7"'

finish
