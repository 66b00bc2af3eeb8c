# Shared by the scripts: paths, the build, and a Wine prefix of our own.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir="$root/build"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Cross build of the program, its tools and tests, and the Linux build of wrenstall-tag.
build_all() {
    "$root/scripts/fetch-bzip2"
    cmake -S "$root/tools/tag" -B "$build_dir/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER=clang++ -DWRENSTALL_TAG_FUZZER=ON >/dev/null
    ninja -C "$build_dir/host"
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/tools/cmake/mingw-i686.cmake" \
        -DWRENSTALL_HOST_TAG_TOOL="$build_dir/host/wrenstall-tag" \
        -DWRENSTALL_HOST_TAG_FUZZER="$build_dir/host/fuzz/wrenstall-tag-fuzzer" >/dev/null
    ninja -C "$build_dir"
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

stop_wine() {
    wineserver -k 2>/dev/null || true
}
