#!/usr/bin/env bash
# HTTP download, three ways on the same file from the stand-in server on
# 127.0.0.1: ours (wrenstall-check fetch: DownloadToStream over our WinHTTP
# request object, under Wine), the limit (fetch-probe: the flat WinHTTP calls
# in a bare read loop under the same Wine) and the native reference (curl).
# Each writes a throw-away file in the same folder (in memory when /dev/shm
# has room). See bench/README.md.
# Usage: bench/fetch-benchmark.sh [SIZE_MIB [RUNS]]   (after the build)
set -euo pipefail
source "$(dirname "$0")/lib/measure.sh"
read_size_and_runs 256 "$@"
check="$run_build_dir/tools/check/wrenstall-check.exe"
probe="$run_build_dir/bench/probes/fetch-probe.exe"
require_built "$check" "$probe"
require_tools curl taskset bc

# The script runs again inside a stand-in server of its own (a port chosen at
# run time), which stays on the helper CPU; its files live in memory when
# /dev/shm has room.
if [ -z "${WRENSTALL_BENCH_SERVING:-}" ]; then
    export WRENSTALL_BENCH_SERVING=1 WRENSTALL_BENCH_TMPDIR=${TMPDIR:-/tmp}
    unset WRENSTALL_SERVER_FIXED_PORT
    server_tmp=$(make_work_dir $((size_mib * 2)))
    trap 'rm -rf "$server_tmp"' EXIT
    TMPDIR=$server_tmp taskset -c "$helper_cpu" bash "$root/tests/server/with-server.sh" bash "$0" "$@"
    exit
fi

export TMPDIR=$WRENSTALL_BENCH_TMPDIR
work=$(make_work_dir $((size_mib * 2)))
start_pinned_wine "$run_build_dir/wineprefix-bench"
trap 'stop_wine; rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$WRENSTALL_SERVER_ROOT/big.bin"
url="http://127.0.0.1:$WRENSTALL_SERVER_PORT/big.bin"

contestant_ours() { run_timed /dev/null wine "$check" fetch "$url" "$(windows_path "$1")"; }
contestant_limit() { run_timed /dev/null wine "$probe" "$url" "$(windows_path "$1")"; }
contestant_native() { run_timed /dev/null curl --fail --silent --show-error --output "$1" "$url"; }

echo "download of $size_mib MiB from 127.0.0.1:$WRENSTALL_SERVER_PORT into $(df -P "$work" | awk 'NR == 2 { print $1 }'), median of $runs interleaved runs after a warm-up"
describe_pinning
run_rounds "$runs" "$WRENSTALL_SERVER_ROOT/big.bin" ours limit native
load_report
wine_start=$(measure_wine_start "$runs")
print_table "$size_mib" \
    ours "ours: wrenstall-check fetch (Wine)" \
    limit "limit: fetch-probe, flat WinHTTP (Wine)" \
    native "native: curl"
printf 'starting and ending a Wine process (in both Wine figures): %.2f s\n' "$wine_start"
