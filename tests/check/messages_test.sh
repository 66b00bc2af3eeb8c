#!/usr/bin/env bash
# How wrenstall-check and wrenstall-tag explain themselves: help on standard
# output, unknown commands named, every failure with what was being done and
# the HRESULT (or errno) with its text, no fields for files of the wrong
# kind, no output file left by a failed fetch or unpack, and a failed install
# naming its step and the address it could not reach.
set -uo pipefail
source "$(dirname "$0")/../script-support.sh"
check=${1:?wrenstall-check.exe}
tag=${2:?wrenstall-tag.exe}
host_tag=${3:?host wrenstall-tag}
wizard=${4:?Wrenstall.exe}

work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
# run NAME TOOL ARGS...: exit status in $status, outputs in $work/NAME.out and .err
run() {
    local name=$1
    shift
    "$@" > "$work/$name.out.raw" 2> "$work/$name.err.raw"
    status=$?
    tr -d '\r' < "$work/$name.out.raw" > "$work/$name.out"
    tr -d '\r' < "$work/$name.err.raw" | grep -v '^Calling \|^Succeeded \|^Loading ' > "$work/$name.err"
}
closed_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
printf 'plain text, not a program\n' > "$work/text.txt"
text=' [^ (].*'             # the system's text after a code
hresult="0x[0-9A-F]{8}$text"

run help wine "$check" --help
expect "check --help: usage on standard output, exit 0" \
    '[ $status -eq 0 ] && grep -q "^usage: wrenstall-check COMMAND" "$work/help.out" && grep -q "^  install " "$work/help.out" && [ ! -s "$work/help.err" ]'
run subhelp wine "$check" version --help
expect "check COMMAND --help: that command's usage, exit 0" '[ $status -eq 0 ] && grep -q "^usage: wrenstall-check version FILE" "$work/subhelp.out"'
run unknown wine "$check" frobnicate
expect "check: an unknown command is named, exit 2" \
    '[ $status -eq 2 ] && grep -q "^wrenstall-check: unknown command \"frobnicate\"$" "$work/unknown.err" && grep -q "^usage:" "$work/unknown.err"'
run none wine "$check"
expect "check without a command: usage on standard error, exit 2" '[ $status -eq 2 ] && grep -q "^usage:" "$work/none.err" && [ ! -s "$work/none.out" ]'

# NAME EXPECTED-STDERR-PATTERN COMMAND...: exit 1, the pattern on standard error, nothing on standard output
failure() {
    local name=$1 pattern=$2
    shift 2
    run "$name" wine "$check" "$@"
    expect "check $name: exit 1, the failure explained, no fields" \
        '[ $status -eq 1 ] && grep -qE "$pattern" "$work/$name.err" && ! grep -qE "^(ProductCode|ProductVersion|installed|FileVersion|source):" "$work/$name.out"'
}
failure package-missing "^wrenstall-check: opening Z:.*\\\\missing\\.msi: 0x80070002$text" \
    package "$(winpath "$work/missing.msi")"
failure package-not-msi "^wrenstall-check: opening Z:.*\\\\text\\.txt as an installer package \\(MSI\\): $hresult" \
    package "$(winpath "$work/text.txt")"
failure version-missing "^wrenstall-check: opening Z:.*\\\\missing\\.exe: 0x80070002$text" \
    version "$(winpath "$work/missing.exe")"
failure version-no-resource "^wrenstall-check: reading the version resource of Z:.*\\\\text\\.txt: $hresult" \
    version "$(winpath "$work/text.txt")"
failure data-not-pe "^wrenstall-check: Z:.*\\\\text\\.txt is not a Windows program \\(PE file\\): 0x800700C1$text" \
    data "$(winpath "$work/text.txt")"
failure data-missing "^wrenstall-check: opening Z:.*\\\\missing\\.exe: 0x80070002$text" data "$(winpath "$work/missing.exe")"

run unpack wine "$check" unpack "$(winpath "$work/text.txt")" "$(winpath "$work/unpacked.bin")"
expect "a failed unpack explains itself and leaves no output file" \
    '[ $status -eq 1 ] && grep -qE "^wrenstall-check: unpacking Z:.*text\.txt into Z:.*unpacked\.bin: 0x8007000D$text" "$work/unpack.err" && [ -z "$(ls "$work" | grep unpacked)" ]'
printf 'keep me' > "$work/existing.bin"
run unpack-existing wine "$check" unpack "$(winpath "$work/text.txt")" "$(winpath "$work/existing.bin")"
expect "a failed unpack leaves an existing output file as it was" '[ $status -eq 1 ] && [ "$(cat "$work/existing.bin")" = "keep me" ]'

url="http://127.0.0.1:$closed_port/payload.bin"
run fetch wine "$check" fetch "$url" "$(winpath "$work/fetched.bin")"
expect "a failed fetch names the URL and the code, and leaves no output file" \
    '[ $status -eq 1 ] && grep -qE "^wrenstall-check: downloading http://127\.0\.0\.1:$closed_port/payload\.bin: 0x80072EFD$text" "$work/fetch.err" && [ -z "$(ls "$work" | grep fetched)" ]'

# The wizard's engine with a payload address where nothing listens. The
# installer data may only choose a host of the build configuration, so the
# copy's configuration names that host (and no fixed port is ever tried).
wine "$check" configure "$(winpath "$wizard")" "$(winpath "$work/Wrenstall.exe")" \
    "Payload=CMsiExecutor|http://127.0.0.1:$closed_port/configured/setup.msi.bz2" > "$work/configure.txt" 2>&1
printf 'UnifiedLogging=disable\r\nPayloadUrl=http://127.0.0.1:%s/kelvora/setup.msi.bz2\r\n' "$closed_port" \
    > "$work/Wrenstall.exe.installer_data"
run install wine "$check" install "$(winpath "$work/Wrenstall.exe")"
expect "a failed install names its step and the address it tried" \
    '[ $status -eq 1 ] && grep -qE "^wrenstall-check: install failed at the step \"Downloading application components\.\.\.\": 0x80072EFD$text" "$work/install.err" && grep -q "address tried: http://127.0.0.1:$closed_port/kelvora/setup.msi.bz2$" "$work/install.err"'

for variant in windows host; do
    if [ $variant = windows ]; then tool=(wine "$tag"); missing=$(winpath "$work/missing.exe"); code='0x80070002 '
    else tool=("$host_tag"); missing="$work/missing.exe"; code='errno 2 '; fi
    run tag-help "${tool[@]}" --help
    expect "tag ($variant) --help: usage on standard output, exit 0" '[ $status -eq 0 ] && grep -q "^usage: wrenstall-tag add" "$work/tag-help.out"'
    run tag-unknown "${tool[@]}" frobnicate x
    expect "tag ($variant): an unknown command is named, exit 2" \
        '[ $status -eq 2 ] && grep -q "^wrenstall-tag: unknown command \"frobnicate\"$" "$work/tag-unknown.err"'
    run tag-missing "${tool[@]}" show "$missing"
    expect "tag ($variant): a missing file gives the system's code and text" \
        '[ $status -eq 1 ] && grep -qF "cannot read the file: $code" "$work/tag-missing.err"'
done

finish
