#!/usr/bin/env bash
# The strict trailer layout end to end, on a table of signed files: the wizard
# signed with osslsigncode (with and without a nested signature), small PE32 and PE32+ files,
# and a signed file made by nobody here (the Debian-signed shim helper, PE32+).
# After add --strict each verifies as before with the same digest, its
# certificate entry is one DER structure with nothing after it, the wizard's
# own loader (wrenstall-check data) reads the data exactly and names the
# layout, and remove gives the signed file back byte for byte; --replace
# crosses layouts. Bad input is refused with a message and left untouched.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
host_tag=${1:?host wrenstall-tag}
windows_tag=${2:?wrenstall-tag.exe}
check=${3:?wrenstall-check.exe}
wizard=${4:?Wrenstall.exe}
here=$(cd "$(dirname "$0")" && pwd)
real_signed=/usr/lib/shim/mmx64.efi.signed  # package shim-helpers-amd64-signed

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$here/../pki/make-test-pki.sh" "$work/pki" >/dev/null 2>&1 || { echo "cannot make the test PKI"; exit 1; }
sign() { osslsigncode sign -certs "$work/pki/$3-chain.crt" -key "$work/pki/$3.key" -h sha256 $4 -in "$1" -out "$2" >/dev/null; }
# osslsigncode's whole report but the PE checksum (outside the signature) and
# the addresses OpenSSL puts before its error lines.
verdict() { osslsigncode verify -CAfile "$work/pki/root.crt" -in "$1" 2>&1 | grep -v '^PE checksum' | sed 's/^[0-9A-F]*:error:/error:/'; }
entry() { python3 "$here/pe_certificate.py" entry "$1"; }
# The certificate entry is one DER element, parsed to its end with no bytes over.
der_fills_entry() {
    entry "$1" > "$work/entry.der" || return 1
    openssl asn1parse -inform DER -in "$work/entry.der" > "$work/entry.asn" 2>&1 || return 1
    [ "$(grep -c 'd=0' "$work/entry.asn")" -eq 1 ] || return 1
    local first hl l
    first=$(head -1 "$work/entry.asn")
    hl=$(sed -E 's/.*hl= *([0-9]+).*/\1/' <<<"$first")
    l=$(sed -E 's/.*l= *([0-9]+) cons.*/\1/' <<<"$first")
    [ $((hl + l)) -eq "$(stat -c %s "$work/entry.der")" ]
}
wizard_data() { wine "$check" data "$1" 2>/dev/null | tr -d '\r'; }

printf '?NoxOffer=enabled\r\n?SI_MODE=toaster\r\n@upl=dGVzdC1jYW1wYWlnbi10b2tlbg==\r\n?MaxOffers=1\r\nplain=x\r\n' > "$work/data.txt"
expected_entries=$'MaxOffers\t1\tprivate\nNoxOffer\tenabled\tprivate\nSI_MODE\ttoaster\tprivate\nplain\tx\t-\nupl\tdGVzdC1jYW1wYWlnbi10b2tlbg==\tprivate,persistent'
printf 'replaced=1\r\n' > "$work/other.txt"

# The fixtures.
cp "$wizard" "$work/unsigned.exe"
sign "$work/unsigned.exe" "$work/wizard.exe" A "" || { echo "osslsigncode could not sign"; exit 1; }
sign "$work/wizard.exe" "$work/nested.exe" A2 -nest || { echo "osslsigncode could not nest a signature"; exit 1; }
printf 'int start(void){return 0;}\n' > "$work/tiny.c"
x86_64-w64-mingw32-gcc -O2 -nostdlib -s -Wl,-e,start -o "$work/tiny64.exe" "$work/tiny.c" || { echo "no x86_64 mingw compiler"; exit 1; }
i686-w64-mingw32-gcc -O2 -nostdlib -s -Wl,-e,_start -o "$work/tiny32.exe" "$work/tiny.c" || { echo "no i686 mingw compiler"; exit 1; }
sign "$work/tiny64.exe" "$work/pe32plus.exe" A ""
# The wizard is PE32+ in the 64-bit build that machines without 32-bit support test.
sign "$work/tiny32.exe" "$work/pe32.exe" A ""
[ -f "$real_signed" ] || { echo "missing $real_signed (scripts/install-deps installs it)"; exit 1; }
cp "$real_signed" "$work/real.efi"
expect "the fixtures are PE32 and PE32+" \
    'file "$work/pe32.exe" | grep -q "PE32 " && file "$work/pe32plus.exe" "$work/real.efi" | grep -c "PE32+" | grep -qx 2'

for name in wizard.exe nested.exe pe32.exe pe32plus.exe real.efi; do
    signed="$work/$name"
    tagged="$work/strict-$name"
    before=$(verdict "$signed")
    cp "$signed" "$tagged"
    expect "$name: add --strict succeeds" '"$host_tag" add "$tagged" "$work/data.txt" --strict'
    expect "$name: osslsigncode's verdict and digest are unchanged" '[ "$(verdict "$tagged")" = "$before" ]'
    expect "$name: the file ends with the magic and is 8-byte aligned" \
        '[ "$(tail -c 4 "$tagged")" = TWPL ] && [ $(( $(stat -c %s "$tagged") % 8 )) -eq 0 ]'
    expect "$name: the certificate entry parses to its end with no bytes left over" 'der_fills_entry "$tagged"'
    expect "$name: show prints the data exactly" '"$host_tag" show "$tagged" | cmp -s - "$work/data.txt"'
    data=$(wizard_data "$tagged")
    expect "$name: the wizard's loader reads the data exactly, layout strict" \
        '[ "$(grep -P "\t" <<<"$data")" = "$expected_entries" ] && grep -qx "source: trailer" <<<"$data" && grep -qx "layout: strict" <<<"$data"'
    cp "$tagged" "$work/removed"
    expect "$name: remove gives back the signed file byte for byte" \
        '"$host_tag" remove "$work/removed" && cmp -s "$work/removed" "$signed"'
    cp "$tagged" "$work/crossed"
    expect "$name: --replace moves the data to the appended layout" \
        '"$host_tag" add "$work/crossed" "$work/other.txt" --replace && ! der_fills_entry "$work/crossed" &&
         "$host_tag" show "$work/crossed" | cmp -s - "$work/other.txt" && [ "$(verdict "$work/crossed")" = "$before" ]'
    expect "$name: --replace --strict moves it back" \
        '"$host_tag" add "$work/crossed" "$work/data.txt" --replace --strict && cmp -s "$work/crossed" "$tagged"'
    cp "$signed" "$work/appended"
    expect "$name: the appended layout also comes out byte for byte" \
        '"$host_tag" add "$work/appended" "$work/data.txt" && "$host_tag" remove "$work/appended" && cmp -s "$work/appended" "$signed"'
done

# Text sizes that carry the attribute's and every enclosing length across a
# length-of-length step (one to two octets, two to three).
before=$(verdict "$work/wizard.exe")
for bytes in 100 117 180 250 260 65400 65536 70000; do
    python3 -c "import sys; sys.stdout.write(('k=' + 'v' * $bytes)[:$bytes])" > "$work/sized.txt"
    cp "$work/wizard.exe" "$work/sized.exe"
    cp "$work/nested.exe" "$work/sized-nested.exe"
    expect "a $bytes-byte text: verdict, one DER structure, exact data, byte-for-byte removal" \
        '"$host_tag" add "$work/sized.exe" "$work/sized.txt" --strict && [ "$(verdict "$work/sized.exe")" = "$before" ] &&
         der_fills_entry "$work/sized.exe" && "$host_tag" show "$work/sized.exe" | cmp -s - "$work/sized.txt" &&
         "$host_tag" remove "$work/sized.exe" && cmp -s "$work/sized.exe" "$work/wizard.exe" &&
         "$host_tag" add "$work/sized-nested.exe" "$work/sized.txt" --strict && der_fills_entry "$work/sized-nested.exe" &&
         "$host_tag" remove "$work/sized-nested.exe" && cmp -s "$work/sized-nested.exe" "$work/nested.exe"'
done

cp "$work/wizard.exe" "$work/windows.exe"
expect "the Windows build writes the same strict file" \
    'wine "$windows_tag" add "$work/windows.exe" "$work/data.txt" --strict >/dev/null 2>&1 && cmp -s "$work/windows.exe" "$work/strict-wizard.exe"'
cp "$work/strict-wizard.exe" "$work/windows.exe"
expect "the Windows build removes it" \
    'wine "$windows_tag" remove "$work/windows.exe" >/dev/null 2>&1 && cmp -s "$work/windows.exe" "$work/wizard.exe"'
# The payload rule finds the nested signature (the maker's second key A2) among
# the strict-tagged signer's attributes.
sign "$work/tiny32.exe" "$work/payloadA2.exe" A2 "" && sign "$work/tiny32.exe" "$work/payloadC.exe" C ""
payload_result() { wine "$check" verify "$(winpath "$1")" --signer "$(winpath "$2")" 2>/dev/null | tr -d '\r' | tail -n 1; }
expect "a strict-tagged nested signer accepts a payload signed with the nested key" \
    '[ "$(payload_result "$work/payloadA2.exe" "$work/strict-nested.exe")" = "result: 0x00000000" ]'
expect "and rejects a foreign key with 0x80092009" \
    '[ "$(payload_result "$work/payloadC.exe" "$work/strict-nested.exe")" = "result: 0x80092009" ]'

cp "$work/wizard.exe" "$work/appended.exe"
"$host_tag" add "$work/appended.exe" "$work/data.txt"
expect "wrenstall-check names the appended layout" 'grep -qx "layout: appended" <<<"$(wizard_data "$work/appended.exe")"'

# Refusals: non-zero exit, a message, the file untouched. refuse NAME FILE COMMAND...
refuse() {
    local name=$1 file=$2
    shift 2
    local sum message status
    sum=$(sha256sum < "$file")
    message=$("$host_tag" "$@" 2>&1 >/dev/null)
    status=$?
    expect "refuses $name" '[ $status -ne 0 ] && [ -n "$message" ] && [ "$(sha256sum < "$file")" = "$sum" ]'
    echo "   ($message)"
}
osslsigncode add -addUnauthenticatedBlob -in "$work/strict-wizard.exe" -out "$work/carrying.exe" >/dev/null
refuse "a last signer already carrying the attribute (strict)" "$work/carrying.exe" add "$work/carrying.exe" "$work/data.txt" --strict
refuse "a last signer already carrying the attribute (appended)" "$work/carrying.exe" add "$work/carrying.exe" "$work/data.txt"
cp "$work/wizard.exe" "$work/not-at-end.exe"; printf 'junk' >> "$work/not-at-end.exe"
refuse "a certificate table not at the end" "$work/not-at-end.exe" add "$work/not-at-end.exe" "$work/data.txt" --strict
python3 "$here/pe_certificate.py" two-entries "$work/wizard.exe" "$work/two.exe"
refuse "two certificate entries (strict)" "$work/two.exe" add "$work/two.exe" "$work/data.txt" --strict
refuse "two certificate entries (appended)" "$work/two.exe" add "$work/two.exe" "$work/data.txt"
for length in 12 15; do
    python3 "$here/pe_certificate.py" short-entry "$work/wizard.exe" "$work/short-$length.exe" $length
    for command in show remove; do
        refuse "$command of a $length-byte last entry ending in the magic" "$work/short-$length.exe" $command "$work/short-$length.exe"
    done
    expect "show prints nothing for a $length-byte entry" '[ -z "$("$host_tag" show "$work/short-$length.exe" 2>/dev/null | head -c 1)" ]'
    sum=$(sha256sum < "$work/short-$length.exe")
    expect "the Windows build refuses show and remove of a $length-byte entry, file untouched" \
        '! wine "$windows_tag" show "$work/short-$length.exe" >/dev/null 2>&1 && ! wine "$windows_tag" remove "$work/short-$length.exe" >/dev/null 2>&1 &&
         [ "$(sha256sum < "$work/short-$length.exe")" = "$sum" ]'
done
printf '\xEF\xBB\xBF?NoxOffer=enabled\r\n' > "$work/bom.txt"
printf 'a=\xC3\x28\r\n' > "$work/invalid.txt"
printf 'a=1\r\n\0b=2\r\n' > "$work/nul.txt"
for bad in bom invalid nul; do
    refuse "data with $bad (strict)" "$work/wizard.exe" add "$work/wizard.exe" "$work/$bad.txt" --strict
    refuse "data with $bad (appended)" "$work/wizard.exe" add "$work/wizard.exe" "$work/$bad.txt"
done

finish
