#!/usr/bin/env bash
# wrenstall-check fetch against the stand-in server (run under with-server.sh):
# the file arrives whole, the result line and the exit status tell success
# and failure.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
check=${1:?wrenstall-check.exe}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
head -c 9000000 /dev/urandom > "$WRENSTALL_SERVER_ROOT/payload.bin"
base="http://127.0.0.1:$WRENSTALL_SERVER_PORT"

wine "$check" fetch "$base/payload.bin" "$(winpath "$out/payload.bin")" > "$out/stdout" 2> "$out/stderr"
status=$?
expect "fetch exits 0" '[ $status -eq 0 ]'
expect "the last line is result: 0x00000000" '[ "$(tail -n 1 "$out/stdout" | tr -d "\r")" = "result: 0x00000000" ]'
expect "the file arrived whole" 'cmp -s "$out/payload.bin" "$WRENSTALL_SERVER_ROOT/payload.bin"'
expect "progress went to standard error" 'grep -q "progress: 9000000 of 9000000 bytes (100%)" "$out/stderr"'

# The server's faults that once let a wrong file pass as a success: the
# file arrives with the served bytes (sha256) after each.
for scenario in no_length wrong_range changed_file lying_length; do
    head -c 6000000 /dev/urandom > "$WRENSTALL_SERVER_ROOT/faulty.bin"
    curl -s -X POST -d "{\"path\": \"/faulty.bin\", \"name\": \"$scenario\", \"break_at\": 2500000, \"seed\": 7}" \
        "$base/__control/scenario" >/dev/null
    wine "$check" fetch "$base/faulty.bin" "$(winpath "$out/faulty.bin")" > "$out/stdout" 2>/dev/null
    status=$?
    expect "$scenario: exit 0 with the served bytes" \
        '[ $status -eq 0 ] && [ "$(sha256sum < "$out/faulty.bin")" = "$(sha256sum < "$WRENSTALL_SERVER_ROOT/faulty.bin")" ]'
done

wine "$check" fetch "$base/missing.bin" "$(winpath "$out/missing.bin")" > "$out/stdout" 2>/dev/null
status=$?
expect "a 404 exits 1" '[ $status -eq 1 ]'
expect "a 404 gives result: 0x80190194" '[ "$(tail -n 1 "$out/stdout" | tr -d "\r")" = "result: 0x80190194" ]'
expect "a 404 leaves no output file" '[ ! -e "$out/missing.bin" ] && [ ! -e "$out/missing.bin.partial" ]'

finish
