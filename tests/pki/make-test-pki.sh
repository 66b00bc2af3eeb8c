#!/usr/bin/env bash
# Makes the test PKI in DIR: a root CA and code-signing keys A, B and C issued
# by it (DIR/root.crt, DIR/A.key, DIR/A.crt, DIR/A-chain.crt, ...). Made fresh
# by each test run; nothing here is a real certificate.
set -euo pipefail
dir=${1:?usage: make-test-pki.sh DIR}
mkdir -p "$dir"
cd "$dir"
[ -f C-chain.crt ] && exit 0

cat > ext.cnf <<'CNF'
[pki_root]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[pki_signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.crt -days 30 \
    -subj "/CN=Wrenstall Test Root" -extensions pki_root -config <(cat /usr/lib/ssl/openssl.cnf ext.cnf) 2>/dev/null
for signer in A B C; do
    openssl req -newkey rsa:2048 -nodes -keyout "$signer.key" -out "$signer.csr" \
        -subj "/CN=Wrenstall Test Signer $signer" 2>/dev/null
    openssl x509 -req -in "$signer.csr" -CA root.crt -CAkey root.key -CAcreateserial -days 30 \
        -extfile ext.cnf -extensions pki_signer -out "$signer.crt" 2>/dev/null
    cat "$signer.crt" root.crt > "$signer-chain.crt"
done
