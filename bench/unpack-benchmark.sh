#!/usr/bin/env bash
# bzip2 extraction, three ways on the same file: ours (wrenstall-check unpack:
# CBzFile over libbzip2, 64 KiB blocks, under Wine), the limit (unpack-probe:
# a bare BZ2_bzRead loop on the same libbzip2 under the same Wine) and the
# native reference (bzip2 -dc). Each writes a throw-away file in the same
# folder (in memory when /dev/shm has room). See bench/README.md.
# Usage: bench/unpack-benchmark.sh [SIZE_MIB [RUNS]]   (after the build)
set -euo pipefail
source "$(dirname "$0")/lib/measure.sh"
read_size_and_runs 64 "$@"
check="$run_build_dir/tools/check/wrenstall-check.exe"
probe="$run_build_dir/bench/probes/unpack-probe.exe"
require_built "$check" "$probe"
require_tools bzip2 taskset bc

# The input: the Windows DLLs that Wine ships, the kind of bytes an installer
# payload holds, cut to the size; random text where they cannot be found.
# Compressing takes long, so the archive is kept in the build folder.
input_cache="$build_dir/bench-data/unpack-$size_mib.bz2"
if [ ! -s "$input_cache" ]; then
    mkdir -p "$build_dir/bench-data"
    dll_dir=$(dirname "$(ls /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll /usr/lib/wine/i386-windows/kernel32.dll 2>/dev/null | head -n 1)")
    raw="$input_cache.raw"
    {
        if [ "$dll_dir" != . ]; then
            find "$dll_dir" -maxdepth 1 -name '*.dll' -print0 | sort -z | xargs -0 cat
        fi
        head -c $((size_mib * 1024 * 1024)) /dev/urandom | base64 -w 0
    } 2>/dev/null | head -c $((size_mib * 1024 * 1024)) > "$raw" || true  # the writers end on a broken pipe
    [ "$(stat -c %s "$raw")" -eq $((size_mib * 1024 * 1024)) ] || { echo "could not make the input"; exit 1; }
    bzip2 -9 -c "$raw" > "$input_cache.part"
    rm -f "$raw"
    mv "$input_cache.part" "$input_cache"
fi

work=$(make_work_dir $((size_mib * 3)))
start_pinned_wine "$run_build_dir/wineprefix-bench"
trap 'stop_wine; rm -rf "$work"' EXIT
cp "$input_cache" "$work/input.bz2"
bzip2 -dc "$work/input.bz2" > "$work/expected"

contestant_ours() { run_timed /dev/null wine "$check" unpack "$(windows_path "$work/input.bz2")" "$(windows_path "$1")"; }
contestant_limit() { run_timed /dev/null wine "$probe" "$(windows_path "$work/input.bz2")" "$(windows_path "$1")"; }
contestant_native() { run_timed "$1" bzip2 -dc "$work/input.bz2"; }

echo "extraction of $size_mib MiB ($(( $(stat -c %s "$work/input.bz2") / 1024 / 1024 )) MiB compressed) into $(df -P "$work" | awk 'NR == 2 { print $1 }'), median of $runs interleaved runs after a warm-up"
describe_pinning
run_rounds "$runs" "$work/expected" ours limit native
load_report
wine_start=$(measure_wine_start "$runs")
print_table "$size_mib" \
    ours "ours: wrenstall-check unpack (Wine)" \
    limit "limit: unpack-probe, bare BZ2_bzRead (Wine)" \
    native "native: bzip2 -dc"
printf 'starting and ending a Wine process (in both Wine figures): %.2f s\n' "$wine_start"
