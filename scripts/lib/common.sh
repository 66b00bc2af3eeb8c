# Shared by the scripts: paths, the build, and a Wine prefix of our own.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir="$root/build"
# The build whose programs run under Wine here; see select_runnable_build.
run_build_dir="$build_dir"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine runs the 32-bit program unless the kernel cannot start 32-bit
# processes at all (some virtual machines have 32-bit emulation switched off:
# 32-bit Wine then fails with "Exec format error"). There the programs that
# run come from a 64-bit build of the same sources in build/x86_64, started by
# 64-bit Wine in 64-bit prefixes; the 32-bit build is still made, so the
# shipped program and everything else compile for i686 all the same. Call
# after scripts/install-deps (which installs the 32-bit loader this looks at);
# with --say, tells the person running the script when it chose the 64-bit build.
select_runnable_build() {
    if [ -e /lib/ld-linux.so.2 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
        run_build_dir="$build_dir/x86_64"
        export WINEARCH=win64
        export PATH="$root/scripts/lib/wine64:$PATH"
        if [ "${1:-}" = --say ]; then
            echo "This machine cannot start 32-bit programs (its kernel has 32-bit emulation switched off):"
            echo "  the 32-bit build is made as always, and what runs under Wine is a 64-bit build of the"
            echo "  same sources ($run_build_dir) under 64-bit Wine; the first build takes twice as long."
        fi
    fi
}

# Cross build of the program, its tools and tests (also the 64-bit one when
# select_runnable_build chose it), and the Linux build of wrenstall-tag; with
# arguments, only those targets of the cross builds (and only wrenstall-tag of
# the Linux build). One build at a time per build folder: scripts/test and
# scripts/run started together take turns here and share the result.
build_all() {
    export_source_date
    mkdir -p "$build_dir"
    local host_targets=()
    [ $# -gt 0 ] && host_targets=(wrenstall-tag)
    # Every step is checked by itself: callers test build_all's status
    # (`if ! build_all`), and there bash ignores set -e.
    (
        flock 9 || exit 1
        "$root/scripts/fetch-bzip2" || exit 1
        cmake -S "$root/tools/tag" -B "$build_dir/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_CXX_COMPILER=clang++ -DWRENSTALL_TAG_FUZZER=ON >/dev/null || exit 1
        ninja -C "$build_dir/host" "${host_targets[@]}" || exit 1
        cross_build "$build_dir" i686 "$@" || exit 1
        if [ "$run_build_dir" != "$build_dir" ]; then
            cross_build "$run_build_dir" x86_64 "$@" || exit 1
        fi
    ) 9>"$build_dir/.build.lock"
}

# The time the linker writes into the executable (and the about box shows):
# the last commit's, so that two builds of one commit are the same bytes.
# A SOURCE_DATE_EPOCH set by the caller wins; outside a git checkout the
# linker uses the clock.
export_source_date() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        local commit_time
        commit_time=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || commit_time=
        [ -n "$commit_time" ] && export SOURCE_DATE_EPOCH=$commit_time
    fi
    return 0
}

# cross_build DIR ARCH [TARGETS...]
cross_build() {
    cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/cmake/mingw-$2.cmake" \
        -DWRENSTALL_HOST_TAG_TOOL="$build_dir/host/wrenstall-tag" \
        -DWRENSTALL_HOST_TAG_FUZZER="$build_dir/host/fuzz/wrenstall-tag-fuzzer" >/dev/null || return 1
    ninja -C "$1" "${@:3}"
}

# xvfb-run with a display number that other runs on the machine are unlikely
# to be choosing at the same moment (-a alone starts every search at 99).
in_display() {
    xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1024x768x24" "$@"
}

# A fresh prefix at $1, with one wineserver kept alive until stop_wine.
start_wine() {
    export WINEPREFIX=$1
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # The server and Wine's helper processes must not hold our output open.
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot -i >/dev/null 2>&1 </dev/null
    # A crashing program ends at once instead of waiting in Wine's debugger.
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 </dev/null || true
    # Japanese text: Wine links its Tahoma and MS Shell Dlg to "MS UI Gothic" for
    # glyphs they lack; that face becomes the proportional IPA P Gothic font
    # that scripts/install-deps installs. Wine draws the title bars itself
    # (there is no X window manager under Xvfb), so screenshots show them.
    local face
    for face in "MS UI Gothic"; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "IPAPGothic" /f >/dev/null 2>&1 </dev/null || true
    done
    # IPA P Gothic lacks some European punctuation (the German „): a link of
    # its own to DejaVu Sans supplies those glyphs, as Tahoma has them on
    # Windows, and leaves every other glyph and width as it was.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v IPAPGothic \
        /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f >/dev/null 2>&1 </dev/null || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null || true
}

# The booted prefix at $1 with its server stopped and its registry on disk:
# the template that tests/in-own-prefix.sh copies for every test.
make_template_prefix() {
    start_wine "$1"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

stop_wine() {
    wineserver -k 2>/dev/null || true
}
