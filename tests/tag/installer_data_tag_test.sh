#!/usr/bin/env bash
# The installer data trailer end to end: a wizard signed with osslsigncode,
# tagged by wrenstall-tag (the Linux build and the Windows build under Wine),
# still verifies, shows its data, is read by the wizard's own loader
# (wrenstall-check data), and comes back byte for byte when the tag is removed.
# Refusals leave the file untouched.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
host_tag=${1:?host wrenstall-tag}
windows_tag=${2:?wrenstall-tag.exe}
check=${3:?wrenstall-check.exe}
wizard=${4:?Wrenstall.exe}
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$here/../pki/make-test-pki.sh" "$work/pki" || { echo "cannot make the test PKI"; exit 1; }
sign() { osslsigncode sign -certs "$work/pki/A-chain.crt" -key "$work/pki/A.key" -h sha256 -in "$1" -out "$2" >/dev/null; }
verdict() { osslsigncode verify -CAfile "$work/pki/root.crt" -in "$1" 2>&1 | grep -E '^(Signature verification|Message digest|Calculated message digest)'; }
wine_tag() { wine "$windows_tag" "$@"; }

cp "$wizard" "$work/unsigned.exe"
sign "$work/unsigned.exe" "$work/signed.exe" || { echo "osslsigncode could not sign"; exit 1; }
before=$(verdict "$work/signed.exe")
expect "the fixture verifies before tagging" '[[ "$before" == *"Signature verification: ok"* ]]'

printf '?NoxOffer=enabled\r\n?SI_MODE=toaster\r\n?SI_DELAY=5\r\n?NoxInstallOnReboot=yes\r\n?MaxOffers=1\r\n@upl=dGVzdC1jYW1wYWlnbi10b2tlbg==\r\n?NoxCallerP2=^TW1^xdm111\r\n?NoxOfferP2=TW6^xdm001^\r\nplain=x\r\n' > "$work/data.txt"

for tool in host windows; do
    run_tag() { if [ "$tool" = host ]; then "$host_tag" "$@"; else wine_tag "$@"; fi; }
    tagged="$work/tagged-$tool.exe"
    cp "$work/signed.exe" "$tagged"
    expect "$tool: add succeeds" 'run_tag add "$tagged" "$work/data.txt" >/dev/null 2>&1'
    expect "$tool: file is 8-byte aligned and ends with TWPL" \
        '[ $(( $(stat -c %s "$tagged") % 8 )) -eq 0 ] && [ "$(tail -c 4 "$tagged")" = TWPL ]'
    expect "$tool: signature verdict unchanged" '[ "$(verdict "$tagged")" = "$before" ]'
    expect "$tool: show prints the data exactly" 'run_tag show "$tagged" 2>/dev/null | cmp -s - "$work/data.txt"'
    cp "$tagged" "$work/again.exe"
    expect "$tool: a second add is refused" '! run_tag add "$work/again.exe" "$work/data.txt" >/dev/null 2>&1'
    expect "$tool: the refused file is untouched" 'cmp -s "$work/again.exe" "$tagged"'
    printf 'replaced=1\r\n' > "$work/other.txt"
    expect "$tool: --replace swaps the data" \
        'run_tag add "$work/again.exe" "$work/other.txt" --replace >/dev/null 2>&1 && run_tag show "$work/again.exe" 2>/dev/null | cmp -s - "$work/other.txt"'
    expect "$tool: replaced file still verifies" '[ "$(verdict "$work/again.exe")" = "$before" ]'
    cp "$tagged" "$work/removed.exe"
    expect "$tool: remove restores the signed file byte for byte" \
        'run_tag remove "$work/removed.exe" >/dev/null 2>&1 && cmp -s "$work/removed.exe" "$work/signed.exe"'
done
expect "both builds of the tool write the same file" 'cmp -s "$work/tagged-host.exe" "$work/tagged-windows.exe"'

# The wizard's own loader reads the tag.
data=$(wine "$check" data "$work/tagged-host.exe" 2>/dev/null | tr -d '\r')
expect "wrenstall-check names the appended layout" 'grep -qx "layout: appended" <<<"$data"'
data=$(grep -v '^layout: ' <<<"$data")
expected=$'source: trailer\nMaxOffers\t1\tprivate\nNoxCallerP2\t^TW1^xdm111\tprivate\nNoxInstallOnReboot\tyes\tprivate\nNoxOffer\tenabled\tprivate\nNoxOfferP2\tTW6^xdm001^\tprivate\nSI_DELAY\t5\tprivate\nSI_MODE\ttoaster\tprivate\nplain\tx\t-\nupl\tdGVzdC1jYW1wYWlnbi10b2tlbg==\tprivate,persistent'
expect "wrenstall-check reads the trailer of the tagged wizard" '[ "$data" = "$expected" ]'
expect "the untagged wizard has no local data" '[ "$(wine "$check" data "$work/signed.exe" 2>/dev/null | tr -d "\r")" = "source: none" ]'

# Refusals: each leaves the file as it was and exits non-zero with a message.
refuse() {
    local name=$1 file=$2
    local sum
    sum=$(sha256sum < "$file")
    local message
    message=$("$host_tag" add "$file" "$work/data.txt" 2>&1)
    local status=$?
    expect "refuses $name" '[ $status -ne 0 ] && [ -n "$message" ] && [ "$(sha256sum < "$file")" = "$sum" ]'
    echo "   ($message)"
}
refuse "an unsigned file" "$work/unsigned.exe"
cp "$work/signed.exe" "$work/appended.exe"; printf 'junk' >> "$work/appended.exe"
refuse "a certificate table that is not at the end" "$work/appended.exe"
cp "$work/signed.exe" "$work/badpe.exe"; printf 'XX' | dd of="$work/badpe.exe" bs=1 seek=$((0x80)) conv=notrunc 2>/dev/null
refuse "a malformed header" "$work/badpe.exe"
head -c 100 "$work/signed.exe" > "$work/short.exe"
refuse "a truncated file" "$work/short.exe"
: > "$work/empty.txt"
cp "$work/signed.exe" "$work/emptydata.exe"
expect "refuses empty data" '! "$host_tag" add "$work/emptydata.exe" "$work/empty.txt" >/dev/null 2>&1 && cmp -s "$work/emptydata.exe" "$work/signed.exe"'
expect "show on an untagged file fails" '! "$host_tag" show "$work/signed.exe" >/dev/null 2>&1'

finish
