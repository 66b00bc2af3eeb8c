#!/usr/bin/env bash
# Runs a command with a real forward proxy (Debian's tinyproxy) on a free
# 127.0.0.1 port, with a configuration of its own: WRENSTALL_FORWARD_PROXY_PORT
# and WRENSTALL_FORWARD_PROXY_LOG (its log, one "Request (...): METHOD URL"
# line per request it forwarded) are exported to the command.
set -uo pipefail
command -v tinyproxy >/dev/null || { echo "with-forward-proxy: tinyproxy is missing (scripts/install-deps)" >&2; exit 1; }
work=$(mktemp -d)
proxy=
cleanup() { [ -n "$proxy" ] && kill "$proxy" 2>/dev/null && wait "$proxy" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
listening() { python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' "$1" 2>/dev/null; }
# The port is free when chosen; another program may take it before the proxy
# does, so a proxy that does not come up is started again on another.
for _ in 1 2 3 4 5; do
    port=$(free_port)
    cat > "$work/tinyproxy.conf" <<CONF
Port $port
Listen 127.0.0.1
Timeout 60
LogFile "$work/access.log"
LogLevel Info
MaxClients 50
Allow 127.0.0.1
PidFile "$work/tinyproxy.pid"
CONF
    : > "$work/access.log"
    tinyproxy -d -c "$work/tinyproxy.conf" >"$work/out" 2>&1 &
    proxy=$!
    for _ in $(seq 1 100); do
        listening "$port" && break
        kill -0 "$proxy" 2>/dev/null || break
        sleep 0.05
    done
    listening "$port" && break
    kill "$proxy" 2>/dev/null; wait "$proxy" 2>/dev/null; proxy=
done
[ -n "$proxy" ] || { echo "with-forward-proxy: tinyproxy did not start" >&2; cat "$work/out" >&2; exit 1; }
export WRENSTALL_FORWARD_PROXY_PORT=$port
export WRENSTALL_FORWARD_PROXY_LOG="$work/access.log"
"$@"
