#!/usr/bin/env bash
# Runs a command with its own stand-in server on a free 127.0.0.1 port:
# WRENSTALL_SERVER_PORT and WRENSTALL_SERVER_ROOT (the served folder, empty
# at the start) are exported to the command; the server stops with it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/server-support.sh"
work=$(mktemp -d)
mkdir -p "$work/root"
python3 "$here/stand_in_server.py" --root "$work/root" --port-file "$work/port" &
server=$!
cleanup() { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
wait_for_port_file "$work/port" "$server" with-server || exit 1
export WRENSTALL_SERVER_PORT=$(cat "$work/port")
export WRENSTALL_SERVER_ROOT="$work/root"
"$@"
