#!/usr/bin/env bash
# The signature matrix: wrenstall-check (signed with key A and a nested
# signature by key B) accepts payloads signed with A or B and rejects the
# others with the exact codes; a signer without a nested signature rejects B.
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
sign B "$work/signerA.exe" "$work/signerAB.exe" -nest
for key in A B C; do sign "$key" "$standin" "$work/payload$key.exe"; done
cp "$standin" "$work/unsigned.exe"
cp "$work/payloadA.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=$((0x4E)) conv=notrunc 2>/dev/null

expect_result() {  # name expected-result signer payload
    local name=$1 expected=$2 signer=$3 payload=$4
    local got
    got=$(wine "$signer" verify "$(winpath "$payload")" 2>/dev/null | tr -d '\r' | tail -n 1)
    if [ "$got" = "result: $expected" ]; then pass "$name"; else fail "$name: expected $expected, got '$got'"; fi
}
expect_result "key A is the signer's own key" 0x00000000 "$work/signerAB.exe" "$work/payloadA.exe"
expect_result "key B is nested in the signer's signature" 0x00000000 "$work/signerAB.exe" "$work/payloadB.exe"
expect_result "key C is foreign" 0x80092009 "$work/signerAB.exe" "$work/payloadC.exe"
expect_result "an unsigned payload fails the trust check" 0x800B0100 "$work/signerAB.exe" "$work/unsigned.exe"
expect_result "a changed byte breaks the digest" 0x80096010 "$work/signerAB.exe" "$work/tampered.exe"
expect_result "without a nested signature key B is foreign" 0x80092009 "$work/signerA.exe" "$work/payloadB.exe"
expect_result "key A without a nested signature" 0x00000000 "$work/signerA.exe" "$work/payloadA.exe"
got=$(wine "$check" verify "$(winpath "$work/payloadB.exe")" --signer "$(winpath "$work/signerAB.exe")" 2>/dev/null | tr -d '\r' | tail -n 1)
if [ "$got" = "result: 0x00000000" ]; then pass "--signer names the trusted file"; else fail "--signer: $got"; fi
got=$(wine "$check" verify "$(winpath "$work/payloadA.exe")" 2>/dev/null | tr -d '\r' | tail -n 1)
if [ "${got#result: 0x}" != "00000000" ] && [ -n "$got" ]; then pass "an unsigned signer accepts nothing ($got)"; else fail "unsigned signer: $got"; fi

finish
