#!/usr/bin/env bash
# Runs a command in a Wine prefix of its own, so that tests running side by
# side (ctest -j, or scripts/test beside scripts/run) never share a registry,
# a temporary folder, installed products or a wineserver. The prefix is a copy
# of $WINEPREFIX (a booted, idle template prefix, see scripts/lib/common.sh) or,
# without one, a freshly booted prefix; it goes with its wineserver at the end.
set -uo pipefail
template=${WINEPREFIX:-}
own=$(mktemp -d "${TMPDIR:-/tmp}/wrenstall-prefix.XXXXXX")
export WINEPREFIX="$own/prefix"
cleanup() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$own"
}
trap cleanup EXIT
if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
    # A server still running on the template may hold registry changes that
    # are not on disk yet: ending it writes them.
    WINEPREFIX="$template" wineserver -k 2>/dev/null
    WINEPREFIX="$template" wineserver -w 2>/dev/null
    # The system folder (most of the prefix's size) is never written by a
    # test: its files are shared as hard links; everything else is copied.
    mkdir -p "$WINEPREFIX"
    tar -C "$template" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$WINEPREFIX" -xf -
    cp -al "$template/drive_c/windows/system32" "$WINEPREFIX/drive_c/windows/"
else
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 </dev/null
fi
# One server for the whole run, so that its helper processes start once.
wineserver -p >/dev/null 2>&1 </dev/null
# WRENSTALL_DPI: the screen's DPI (LogPixels) for the programs of this prefix.
if [ -n "${WRENSTALL_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$WRENSTALL_DPI" /f >/dev/null 2>&1 </dev/null
fi
"$@"
