#!/usr/bin/env bash
# wrenstall-check install with the user's proxy settings naming a real
# forward proxy (tinyproxy, tests/server/with-forward-proxy.sh), under
# with-server.sh: every request of the install (tracking, payload, offer)
# goes through it, as its own log and the Via header the server sees show.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
install_test_arguments "$@"
# The server is named "localhost", not by the proxy's own address (as in tests/ProxyTest.cpp).
base="http://localhost:$WRENSTALL_SERVER_PORT"
make_tagged_wizard "$base" $'@upl=through+proxy\r\nSI_CHNL=7\r\n'
uninstall
set_user_proxy "127.0.0.1:$WRENSTALL_FORWARD_PROXY_PORT"

export WRENSTALL_RECORD_FILE="$(winpath "$work/offer-started.txt")"
wine "$check" install "$(winpath "$work/Wrenstall.exe")" --accept nox > "$work/out.txt" 2>/dev/null
status=$?
expect "install through the proxy exits 0 with result 0" \
    '[ $status -eq 0 ] && [ "$(tail -n 1 "$work/out.txt" | tr -d "\r")" = "result: 0x00000000" ]'
# Tracking events go out on threads of their own; wait for the last one.
for _ in $(seq 1 100); do grep -q "ev=InstallerFinished" "$WRENSTALL_FORWARD_PROXY_LOG" && break; sleep 0.1; done
proxied=$(grep -o "Request (file descriptor [0-9]*): [A-Z]* [^ ]*" "$WRENSTALL_FORWARD_PROXY_LOG" | cut -d' ' -f5-)
expect "the proxy forwarded the payload" 'grep -q "^GET $base/kelvora/Kelvora-2.4.1-setup.msi.bz2$" <<< "$proxied"'
expect "the proxy forwarded the offer" 'grep -q "^GET $base/offers/VelmoraCleanerPlus-downloader.exe.bz2$" <<< "$proxied"'
expect "the proxy forwarded the tracking events" \
    'grep -q "^GET $base/ulc.php?ev=InstallerInvoked&" <<< "$proxied" && grep -q "^GET $base/ulc.php?ev=InstallerFinished&" <<< "$proxied"'
# Every request the server saw came through the proxy (its Via header).
all=$(curl -s "http://127.0.0.1:$WRENSTALL_SERVER_PORT/__control/requests")
expect "the server saw requests, each through the proxy" \
    '[ -n "$all" ] && python3 -c "
import sys
lines = [l for l in sys.stdin.read().splitlines() if l]
def via_tinyproxy(headers):
    return any(h.startswith(\"via:\") and \"tinyproxy\" in h for h in headers.lower().split(\"\r\n\"))
direct = [bytes.fromhex(l.split(\"\t\")[1]).decode() for l in lines
          if not via_tinyproxy(bytes.fromhex(l.split(\"\t\")[5]).decode())]
print(\"\n\".join(\"direct: \" + t for t in direct))
sys.exit(1 if direct else 0)" <<< "$all"'
set_user_proxy ""
uninstall

finish
