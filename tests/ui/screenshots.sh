#!/usr/bin/env bash
# Screenshots of the test page and of the cancel question in the five
# languages, at 96 DPI and at 144 DPI (150 %: pictures named *-144dpi-*),
# taken from the virtual display with ImageMagick's import.
# usage: screenshots.sh UI_HOST_EXE OUTPUT_FOLDER
set -euo pipefail
source "$(dirname "$0")/../script-support.sh"
host=$1
out=$2
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the host with its ready and done files, shoots the screen once it is
# ready and shows what the picture is named after (messagebox-*, page-*), then
# lets it end. $1: picture name, the rest: host arguments before the files.
shoot() {
    local name=$1; shift
    local ready="$work/$name.ready" done="$work/$name.done"
    wine "$host" "$@" "Z:${ready//\//\\}" "Z:${done//\//\\}" >"$work/$name.log" 2>&1 &
    local pid=$!
    for _ in $(seq 1 600); do
        [ -e "$ready" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -e "$ready" ]; then
        echo "FAIL: $name never became ready"; cat "$work/$name.log"; kill "$pid" 2>/dev/null || true; return 1
    fi
    # What the host read back from its windows when it was ready: the picture's subject.
    local shows
    shows=$(cat "$ready")
    rm -f "$out/$name.png"
    if [ "$shows" = "${name%%-*}" ]; then import -window root "$out/$name.png"; fi
    touch "$done"
    local status=0
    wait "$pid" || status=$?
    if [ "$shows" != "${name%%-*}" ]; then
        echo "FAIL: $name: the screen showed \"$shows\""; return 1
    fi
    echo "$name: $(identify -format '%wx%h' "$out/$name.png"), host exit $status"
}

failed=0
for dpi in 96 144; do
    use_dpi "$dpi"
    scale=$(dpi_tag "$dpi")
    for language in en:0409 de:0407 es:0c0a fr:040c ja:0411; do
        code=${language#*:}
        name=${language%%:*}
        # MB_YESNO (4): the cancel question; closing it answers No (7).
        shoot "messagebox$scale-$name" box 4 "$code" || failed=1
        shoot "page$scale-$name" page "$code" || failed=1
    done
done
use_dpi 96
for picture in "$out"/{messagebox,page}{,-144dpi}-{en,de,es,fr,ja}.png; do
    if [ ! -s "$picture" ]; then echo "FAIL: $picture missing"; failed=1; fi
done
echo "screenshots in $out"
exit $failed
