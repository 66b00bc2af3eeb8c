#!/usr/bin/env bash
# The signature matrix: wrenstall-check signed with key A accepts payloads
# signed with A, and with A2 (a second key of A's subject) when a nested
# signature by A2 sits behind another unauthenticated attribute of its own
# signature (sha256 and sha1); nested signatures that anyone can add (key B of
# another subject, key F of A's subject from a root of its own, key E of A's
# subject not for code signing, A2's signature of another file) widen nothing and their payloads are rejected with
# 0x80092009, as is key C.
# Under Wine a changed byte is caught for PE files (MSI digests are not checked there).
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
check=${1:?wrenstall-check.exe}
standin=${2:?StandInApp.exe}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/../pki/make-test-pki.sh" "$work/pki" || { echo "cannot make the test PKI"; exit 1; }
sign() {  # key in out [extra...]
    local key=$1 in=$2 out=$3; shift 3
    osslsigncode sign "$@" -certs "$work/pki/$key-chain.crt" -key "$work/pki/$key.key" -h sha256 -in "$in" -out "$out" >/dev/null
}

sign A "$check" "$work/signerA.exe"
osslsigncode add -addUnauthenticatedBlob -in "$work/signerA.exe" -out "$work/signerA-blob.exe" >/dev/null
sign A2 "$work/signerA-blob.exe" "$work/signerAA2.exe" -nest
osslsigncode sign -certs "$work/pki/A2-chain.crt" -key "$work/pki/A2.key" -h sha1 -nest \
    -in "$work/signerA.exe" -out "$work/signerAA2-sha1.exe" >/dev/null
sign B "$work/signerA.exe" "$work/signerAB.exe" -nest
sign F "$work/signerA.exe" "$work/signerAF.exe" -nest
sign E "$work/signerA.exe" "$work/signerAE.exe" -nest
for key in A A2 B C E F; do sign "$key" "$standin" "$work/payload$key.exe"; done
# A2's genuine signature of another file, grafted in as a nested signature.
# The tool checks the chains of what it attaches: against the test root, not
# the system's CA bundle (which a minimal system does not have).
osslsigncode extract-signature -in "$work/payloadA2.exe" -out "$work/other.p7" >/dev/null
osslsigncode attach-signature -sigin "$work/other.p7" -nest -CAfile "$work/pki/root.crt" \
    -in "$work/signerA.exe" -out "$work/signerA-graft.exe" >/dev/null 2>&1
# The nested signature must be found by its type, not as the first attribute.
first_attribute=$(osslsigncode extract-signature -in "$work/signerAA2.exe" -out "$work/AA2.p7" >/dev/null &&
    openssl asn1parse -inform DER -in "$work/AA2.p7" | grep -a -A2 "d=5 .*cont \[ 1 \]" | grep -a -o "OBJECT *:.*" |
    head -n 1 | tr -d ' ')
cp "$standin" "$work/unsigned.exe"
cp "$work/payloadA.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$((0x4E)) conv=notrunc 2>/dev/null

expect_result() {  # name expected-result signer payload
    local name=$1 expected=$2 signer=$3 payload=$4
    local got
    got=$(wine "$signer" verify "$(winpath "$payload")" 2>/dev/null | tr -d '\r' | tail -n 1)
    if [ "$got" = "result: $expected" ]; then pass "$name"; else fail "$name: expected $expected, got '$got'"; fi
}
expect "the nested signature is not the first unauthenticated attribute ($first_attribute)" \
    '[ -n "$first_attribute" ] && [ "$first_attribute" != "OBJECT:1.3.6.1.4.1.311.2.4.1" ]'
expect_result "key A is the signer's own key" 0x00000000 "$work/signerAA2.exe" "$work/payloadA.exe"
expect_result "the maker's second key A2 is nested in the signer's signature" 0x00000000 "$work/signerAA2.exe" "$work/payloadA2.exe"
expect_result "a nested sha1 signature by A2 counts too" 0x00000000 "$work/signerAA2-sha1.exe" "$work/payloadA2.exe"
expect_result "a nested signature by another subject (B) widens nothing" 0x80092009 "$work/signerAB.exe" "$work/payloadB.exe"
expect_result "a nested look-alike of A from a foreign root widens nothing" 0x80092009 "$work/signerAF.exe" "$work/payloadF.exe"
expect_result "a nested key of A's subject not made for code signing widens nothing" 0x80092009 "$work/signerAE.exe" "$work/payloadE.exe"
expect_result "a nested signature by A2 of another file widens nothing" 0x80092009 "$work/signerA-graft.exe" "$work/payloadA2.exe"
expect_result "key C is foreign" 0x80092009 "$work/signerAA2.exe" "$work/payloadC.exe"
expect_result "an unsigned payload fails the trust check" 0x800B0100 "$work/signerAA2.exe" "$work/unsigned.exe"
expect_result "a changed byte breaks the digest" 0x80096010 "$work/signerAA2.exe" "$work/tampered.exe"
expect_result "without a nested signature key A2 is foreign" 0x80092009 "$work/signerA.exe" "$work/payloadA2.exe"
expect_result "key A without a nested signature" 0x00000000 "$work/signerA.exe" "$work/payloadA.exe"
got=$(wine "$check" verify "$(winpath "$work/payloadA2.exe")" --signer "$(winpath "$work/signerAA2.exe")" 2>/dev/null | tr -d '\r' | tail -n 1)
if [ "$got" = "result: 0x00000000" ]; then pass "--signer names the trusted file"; else fail "--signer: $got"; fi
got=$(wine "$check" verify "$(winpath "$work/payloadA.exe")" 2>/dev/null | tr -d '\r' | tail -n 1)
if [ "${got#result: 0x}" != "00000000" ] && [ -n "$got" ]; then pass "an unsigned signer accepts nothing ($got)"; else fail "unsigned signer: $got"; fi

# The per-user compatibility setting that makes the program see an older system
# (Wine's per-user version key stands in for the platform's compatibility layers):
# the check still runs, and unsigned or changed payloads stay rejected.
wine reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
seen=$(wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -o 'Windows [0-9.]*')
expect "the compatibility setting reports an older system ($seen)" '[[ "$seen" == "Windows 5."* ]]'
expect_result "an older system version still rejects an unsigned payload" 0x800B0100 "$work/signerAA2.exe" "$work/unsigned.exe"
expect_result "an older system version still rejects a changed payload" 0x80096010 "$work/signerAA2.exe" "$work/tampered.exe"
expect_result "an older system version still rejects a foreign key" 0x80092009 "$work/signerAA2.exe" "$work/payloadC.exe"
wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1

finish
