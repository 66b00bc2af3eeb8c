# Shared by the scripts: paths, the build, and a Wine prefix of our own.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir="$root/build"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Cross build of the program, its tools and tests, and the Linux build of
# wrenstall-tag; with arguments, only those targets of the cross build (and
# only wrenstall-tag of the Linux build). One build at a time per build
# folder: scripts/test and scripts/run started together take turns here and
# share the result.
build_all() {
    mkdir -p "$build_dir"
    local host_targets=()
    [ $# -gt 0 ] && host_targets=(wrenstall-tag)
    (
        flock 9
        "$root/scripts/fetch-bzip2"
        cmake -S "$root/tools/tag" -B "$build_dir/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_CXX_COMPILER=clang++ -DWRENSTALL_TAG_FUZZER=ON >/dev/null
        ninja -C "$build_dir/host" "${host_targets[@]}"
        cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/tools/cmake/mingw-i686.cmake" \
            -DWRENSTALL_HOST_TAG_TOOL="$build_dir/host/wrenstall-tag" \
            -DWRENSTALL_HOST_TAG_FUZZER="$build_dir/host/fuzz/wrenstall-tag-fuzzer" >/dev/null
        ninja -C "$build_dir" "$@"
    ) 9>"$build_dir/.build.lock"
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
