#!/usr/bin/env bash
# Runs a command with a second stand-in server that speaks HTTPS on a free
# 127.0.0.1 port with a self-signed certificate made for another name
# ("wrong-name.invalid"): WRENSTALL_TLS_PORT is exported to the command.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/server-support.sh"
work=$(mktemp -d)
mkdir -p "$work/root"
echo "secret" > "$work/root/file.txt"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
    -subj "/CN=wrong-name.invalid" -addext "subjectAltName=DNS:wrong-name.invalid" \
    -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || { echo "with-tls-server: openssl failed" >&2; exit 1; }
cat "$work/cert.pem" "$work/key.pem" > "$work/server.pem"
python3 "$here/stand_in_server.py" --root "$work/root" --port-file "$work/port" --tls-cert "$work/server.pem" &
server=$!
cleanup() { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
wait_for_port_file "$work/port" "$server" with-tls-server || exit 1
export WRENSTALL_TLS_PORT=$(cat "$work/port")
"$@"
