#!/usr/bin/env bash
# Makes the test PKI in DIR: a root CA and code-signing keys A, B and C issued
# by it (DIR/root.crt, DIR/A.key, DIR/A.crt, DIR/A-chain.crt, ...), each with
# its own subject; A2, a second key of A's subject from the same root (the
# maker's dual signing); E, a key of A's subject from the same root that is
# not for code signing; and F, a key of A's subject issued by a root of its
# own that nobody trusts (a forged look-alike). Made fresh by each test run;
# nothing here is a real certificate.
set -euo pipefail
dir=${1:?usage: make-test-pki.sh DIR}
mkdir -p "$dir"
cd "$dir"
[ -f F-chain.crt ] && exit 0

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
[pki_server]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

make_root() {  # name subject
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.crt" -days 30 \
        -subj "$2" -extensions pki_root -config <(cat /usr/lib/ssl/openssl.cnf ext.cnf) 2>/dev/null
}
make_signer() {  # name root subject [extensions]
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$3" 2>/dev/null
    openssl x509 -req -in "$1.csr" -CA "$2.crt" -CAkey "$2.key" -CAcreateserial -days 30 \
        -extfile ext.cnf -extensions "${4:-pki_signer}" -out "$1.crt" 2>/dev/null
    cat "$1.crt" "$2.crt" > "$1-chain.crt"
}
make_root root "/CN=Wrenstall Test Root"
make_root forged-root "/CN=Wrenstall Test Root"
for signer in A B C; do make_signer "$signer" root "/O=Wrenstall Test/CN=Wrenstall Test Signer $signer"; done
make_signer A2 root "/O=Wrenstall Test/CN=Wrenstall Test Signer A"
make_signer E root "/O=Wrenstall Test/CN=Wrenstall Test Signer A" pki_server
make_signer F forged-root "/O=Wrenstall Test/CN=Wrenstall Test Signer A"
