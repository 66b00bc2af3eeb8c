#!/usr/bin/env bash
# wrenstall-check fetch (the wizard's download) against real server software:
# Debian's nginx (tests/server/with-nginx.sh) behind a relay that cuts the
# connection (tests/server/cutting_relay.py), and Debian's tinyproxy as the
# user's proxy (tests/server/with-forward-proxy.sh). Every case ends with the
# served file or a failure, never a short file as success.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../script-support.sh"
source "$here/../server/server-support.sh"
check=${1:?wrenstall-check.exe}
relay_script="$here/../server/cutting_relay.py"
root=$WRENSTALL_NGINX_ROOT
log=$WRENSTALL_NGINX_LOG

work=$(mktemp -d)
relay=
stop_relay() { [ -n "$relay" ] && kill "$relay" 2>/dev/null && wait "$relay" 2>/dev/null; relay=; }
trap 'stop_relay; rm -rf "$work"' EXIT
# start_relay CUTS [NEW OLD]: a relay in front of nginx; sets $base.
start_relay() {
    stop_relay
    rm -f "$work/relay.port"
    python3 "$relay_script" --target-port "$WRENSTALL_NGINX_PORT" --port-file "$work/relay.port" --cuts "$1" \
        ${2:+--replace "$2" "$3"} &
    relay=$!
    wait_for_port_file "$work/relay.port" "$relay" cutting_relay || exit 1
    base="http://127.0.0.1:$(cat "$work/relay.port")"
}
# fetch PATH: downloads through the relay into $work/out.bin; sets $status and $result.
fetch() {
    rm -f "$work/out.bin"
    lines_before=$(wc -l < "$log")
    wine "$check" fetch "$base$1" "$(winpath "$work/out.bin")" > "$work/stdout" 2>/dev/null
    status=$?
    result=$(tail -n 1 "$work/stdout" | tr -d '\r')
    # Wine's process teardown crashes now and then after the tool has printed
    # its result (README, "What remains Wine's limit"): the result decides.
    if [ $status -eq 139 ] && [ "$result" = "result: 0x00000000" ]; then
        echo "note: exit 139 after success (Wine's teardown); the result line counts"
        status=0
    fi
}
# The access log lines of the last fetch (status, Range, If-Range, request).
logged() { tail -n +"$((lines_before + 1))" "$log"; }
same() { [ -f "$work/out.bin" ] && cmp -s "$work/out.bin" "$1"; }

head -c 6000000 /dev/urandom > "$root/files/six.bin"
start_relay 2500000
fetch /files/six.bin
expect "a cut transfer resumes: the whole file" '[ $status -eq 0 ] && same "$root/files/six.bin"'
# (nginx writes the ETag's quotes as \x22.)
expect "the resume asked nginx for the rest with the ETag in If-Range and got 206" \
    'logged | awk -F "\t" "\$1 == 206 && \$2 ~ /^bytes=[0-9]+-\$/ && \$3 ~ /^(\\\\x22|\")/ { found = 1 } END { exit !found }"'

head -c 6000000 /dev/urandom > "$root/files/changing.bin"
head -c 4321000 /dev/urandom > "$work/new.bin"
start_relay 2500000 "$work/new.bin" "$root/files/changing.bin"
fetch /files/changing.bin
expect "a file replaced between attempts ends as the new file" '[ $status -eq 0 ] && same "$work/new.bin"'
expect "the resume met the new version: 200, no third request" \
    '[ "$(logged | cut -f1 | tr "\n" " ")" = "200 200 " ]'

head -c 6000000 /dev/urandom > "$root/noranges/six.bin"
start_relay 2500000
fetch /noranges/six.bin
expect "without range support the file starts over and arrives whole" \
    '[ $status -eq 0 ] && same "$root/noranges/six.bin" && [ "$(logged | cut -f1 | tr "\n" " ")" = "200 200 " ]'

head -c 6000000 /dev/urandom > "$root/noetag/six.bin"
start_relay 2500000
fetch /noetag/six.bin
expect "without an ETag the resume names the date in If-Range and arrives whole" \
    '[ $status -eq 0 ] && same "$root/noetag/six.bin" && logged | grep -q "^206	bytes=[0-9]*-	.* GMT	"'

# Cut inside the response head, before and inside Content-Length.
head -c 3000000 /dev/urandom > "$root/files/head.bin"
for cut in 40 100 130; do
    start_relay "$cut"
    fetch /files/head.bin
    expect "a response cut at byte $cut of its head is retried: the whole file" \
        '[ $status -eq 0 ] && same "$root/files/head.bin"'
done

# More drops than the download has attempts without progress.
head -c 8000000 /dev/urandom > "$root/files/drops.bin"
start_relay 1000000,1000000,1000000,1000000,1000000,1000000,1000000
fetch /files/drops.bin
expect "seven drops after progress: the whole file" '[ $status -eq 0 ] && same "$root/files/drops.bin"'

head -c 100000 /dev/urandom > "$root/gzipped/packed.bin"
start_relay ""
fetch /gzipped/packed.bin
expect "a body in a content coding fails with 0x80040A02 and leaves no file" \
    '[ $status -eq 1 ] && [ "$result" = "result: 0x80040A02" ] && [ ! -e "$work/out.bin" ]'

start_relay ""
fetch /files/missing.bin
expect "a 404 is asked once" '[ "$result" = "result: 0x80190194" ] && [ "$(logged | wc -l)" -eq 1 ]'

# The user's manual proxy (tinyproxy): the request goes through it.
if [ -n "${WRENSTALL_FORWARD_PROXY_PORT:-}" ]; then
    set_user_proxy "127.0.0.1:$WRENSTALL_FORWARD_PROXY_PORT"
    # The server is named "localhost", not by the proxy's own address (as in tests/ProxyTest.cpp).
    start_relay ""
    base=${base/127.0.0.1/localhost}
    fetch /files/six.bin
    expect "through the user's proxy: the whole file" '[ $status -eq 0 ] && same "$root/files/six.bin"'
    expect "tinyproxy's log shows the request" \
        'grep -q "Request (file descriptor [0-9]*): GET $base/files/six.bin" "$WRENSTALL_FORWARD_PROXY_LOG"'
    set_user_proxy ""
fi

finish
