#!/usr/bin/env bash
# Runs a command with a real forward proxy (Debian's tinyproxy) on a free
# 127.0.0.1 port, with a configuration of its own: WRENSTALL_FORWARD_PROXY_PORT
# and WRENSTALL_FORWARD_PROXY_LOG (its log, one "Request (...): METHOD URL"
# line per request it forwarded) are exported to the command.
set -uo pipefail
source "$(dirname "$0")/server-support.sh"
command -v tinyproxy >/dev/null || { echo "with-forward-proxy: tinyproxy is missing (scripts/install-deps)" >&2; exit 1; }
work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
configure() {
    cat > "$work/tinyproxy.conf" <<CONF
Port $1
Listen 127.0.0.1
Timeout 60
LogFile "$work/access.log"
LogLevel Info
MaxClients 50
Allow 127.0.0.1
PidFile "$work/tinyproxy.pid"
CONF
    : > "$work/access.log"
}
start_on_free_port configure tinyproxy -d -c "$work/tinyproxy.conf" >"$work/out" 2>&1 ||
    { echo "with-forward-proxy: tinyproxy did not start" >&2; cat "$work/out" >&2; exit 1; }
export WRENSTALL_FORWARD_PROXY_PORT=$port
export WRENSTALL_FORWARD_PROXY_LOG="$work/access.log"
"$@"
