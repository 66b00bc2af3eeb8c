# Shared by the benchmarks (sourced): CPU pinning, a Wine prefix whose server
# is pinned, interleaved timed runs with their medians, the machine's load,
# and the table every benchmark prints.
#
# Every timed command runs on one CPU, $bench_cpu (WRENSTALL_BENCH_CPU, by
# default the last one): the native reference, the Wine clients and the
# prefix's Wine server alike, so client and server never wait for a wake-up
# on another CPU. Helpers that only feed the job (the HTTP server) run on
# $helper_cpu, another CPU when there is one.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
select_runnable_build

cpu_count=$(getconf _NPROCESSORS_ONLN)  # all of them, whatever this process is pinned to
bench_cpu=${WRENSTALL_BENCH_CPU:-$((cpu_count - 1))}
helper_cpu=$(( cpu_count > 1 ? (bench_cpu == 0 ? 1 : 0) : bench_cpu ))
clock_ticks=$(getconf CLK_TCK)
wine_server_pid=

# Size and run count from the arguments, positive whole numbers.
read_size_and_runs() {  # default size, SIZE_MIB, RUNS
    size_mib=${2:-$1}
    runs=${3:-5}
    [[ "$size_mib" =~ ^[1-9][0-9]*$ && "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "SIZE_MIB and RUNS are positive whole numbers"; exit 2; }
}

# Stops the benchmark when one of the programs it times is not built.
require_built() {  # exe...
    local exe
    for exe in "$@" "$run_build_dir/bench/probes/start-probe.exe"; do
        [ -f "$exe" ] || { echo "build first (ninja -C build): $exe is missing"; exit 1; }
    done
}

# The path as Wine's drive Z: names it.
windows_path() {  # absolute Unix path
    echo "Z:${1//\//\\}"
}

require_tools() {  # command...
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps)"; exit 1; }
    done
    [ -x /usr/bin/time ] || { echo "needs /usr/bin/time (scripts/install-deps)"; exit 1; }
}

# A folder for inputs and outputs, in memory (tmpfs) when it has room for
# $1 MiB, so no timed run waits for a disk.
make_work_dir() {  # MiB needed
    local shm_free_mib
    shm_free_mib=$(df -Pm /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
    if [ -n "$shm_free_mib" ] && [ "$shm_free_mib" -gt $(($1 + 256)) ]; then
        mktemp -d /dev/shm/wrenstall-bench.XXXXXX
    else
        mktemp -d
    fi
}

# The Wine server of $WINEPREFIX: its working folder (under Wine's temporary
# folder) is named after the prefix's device and inode.
find_wine_server_pid() {
    local server_dir proc
    server_dir=$(printf 'server-%x-%x' $(stat -L -c '%d %i' "$WINEPREFIX"))
    for proc in /proc/[0-9]*; do
        case "$(readlink "$proc/cwd" 2>/dev/null)" in
            */"$server_dir") echo "${proc#/proc/}"; return ;;
        esac
    done
}

# Makes the bench prefix when missing and (re)starts its Wine server pinned
# to $bench_cpu. run_timed pins the Wine clients, and the prefix's background
# processes (services, explorer) inherit the CPU of the client that starts
# them. One benchmark at a time: this stops a server the prefix already has.
start_pinned_wine() {  # prefix
    export WINEPREFIX=$1
    [ -d "$WINEPREFIX" ] || start_wine "$WINEPREFIX"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    taskset -c "$bench_cpu" wineserver -p >/dev/null 2>&1 </dev/null
    wine_server_pid=$(find_wine_server_pid)
}

# CPU ticks (user + system) the prefix's Wine server has used so far.
wine_server_ticks() {
    [ -n "$wine_server_pid" ] || { echo 0; return; }
    awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$wine_server_pid/stat" 2>/dev/null || echo 0
}

describe_pinning() {
    local server_cpus=unknown
    [ -n "$wine_server_pid" ] && server_cpus=$(taskset -pc "$wine_server_pid" | sed 's/.*: //')
    echo "pinned: timed commands on CPU $bench_cpu (Wine server pid ${wine_server_pid:-not found}: CPUs $server_cpus); helpers on CPU $helper_cpu"
}

# Busy and total ticks of one /proc/stat line ("cpu" for all CPUs).
cpu_ticks() {  # cpu line name
    awk -v name="$1" '$1 == name { busy = $2 + $3 + $4 + $7 + $8 + $9; print busy, busy + $5 + $6 }' /proc/stat
}

# Load of the machine around the timed part: load averages before and after,
# and how busy the benchmark's CPU and all CPUs were (this benchmark included).
load_start() {
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    read -r cpu_busy_before cpu_total_before <<< "$(cpu_ticks "cpu$bench_cpu")"
    read -r all_busy_before all_total_before <<< "$(cpu_ticks cpu)"
}

load_report() {
    local cpu_busy cpu_total all_busy all_total
    read -r cpu_busy cpu_total <<< "$(cpu_ticks "cpu$bench_cpu")"
    read -r all_busy all_total <<< "$(cpu_ticks cpu)"
    echo "machine load ($cpu_count CPUs): load average (1, 5, 15 min) $load_before before, $(cut -d' ' -f1-3 /proc/loadavg) after;"
    echo "  busy during the timed runs: CPU $bench_cpu $(( 100 * (cpu_busy - cpu_busy_before) / (cpu_total - cpu_total_before + 1) ))%," \
         "all CPUs $(( 100 * (all_busy - all_busy_before) / (all_total - all_total_before + 1) ))% (this benchmark included);" \
         "$(awk '{ split($4, r, "/"); print r[1] }' /proc/loadavg) runnable now;"
    echo "  the timed commands used a CPU for $(quotient "$(echo "100 * $timed_cpu" | bc -l)" "$timed_elapsed" 0)% of their elapsed time" \
         "(the rest they waited: for a CPU when others hold it, or for the server)"
}

# Runs one command on $bench_cpu and sets run_seconds (elapsed), run_cpu
# (user + system seconds of the command, plus the Wine server's share when
# the command is a Wine one) and run_kib (its peak resident memory). Standard
# output goes to STDOUT_FILE, standard error to $work/stderr.
run_timed() {  # STDOUT_FILE command...
    local stdout_file=$1; shift
    local start end server_before server_after status=0
    server_before=$(wine_server_ticks)
    start=$EPOCHREALTIME
    taskset -c "$bench_cpu" /usr/bin/time -f '%U %S %M' -o "$work/usage" "$@" >"$stdout_file" 2>"$work/stderr" || status=$?
    end=$EPOCHREALTIME
    server_after=$(wine_server_ticks)
    if [ "$status" -ne 0 ]; then
        echo "FAILED ($status): $*" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
    local user system
    read -r user system run_kib < <(tail -n 1 "$work/usage")
    run_seconds=$(echo "$end - $start" | bc -l)
    # The Wine server's ticks count only for the Wine side; ticks of others are 0.
    run_cpu=$(echo "$user + $system + ($server_after - $server_before) / $clock_ticks" | bc -l)
}

median() {  # numbers on standard input
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs the contestants (shell functions contestant_NAME OUTFILE that call
# run_timed) in rounds: round 0 warms up, rounds 1..RUNS are timed. Within a
# round the order rotates, so none of them is always first. After every run
# the output must equal EXPECTED; it is deleted before the next run. Timings
# land in $work/times-NAME, one "seconds cpu kib" line per run, and their sums
# in timed_elapsed and timed_cpu.
run_rounds() {  # RUNS EXPECTED name...
    local runs=$1 expected=$2; shift 2
    local names=("$@") count=$# round index name output
    timed_elapsed=0
    timed_cpu=0
    for round in $(seq 0 "$runs"); do
        [ "$round" -eq 1 ] && load_start
        for index in $(seq 0 $((count - 1))); do
            name=${names[$(((index + round) % count))]}
            output="$work/output-$name"
            rm -f "$output"
            "contestant_$name" "$output"
            cmp -s "$expected" "$output" || { echo "MISMATCH: the output of $name differs from the expected bytes" >&2; exit 1; }
            rm -f "$output"
            [ "$round" -gt 0 ] || continue
            echo "$run_seconds $run_cpu $run_kib" >> "$work/times-$name"
            timed_elapsed=$(echo "$timed_elapsed + $run_seconds" | bc -l)
            timed_cpu=$(echo "$timed_cpu + $run_cpu" | bc -l)
        done
    done
}

# Medians of one contestant: sets median_seconds, median_cpu, median_mib
# (peak memory) and the elapsed-time spread fastest_seconds..slowest_seconds.
read_medians() {  # name
    local file="$work/times-$1"
    median_seconds=$(cut -d' ' -f1 "$file" | median)
    median_cpu=$(cut -d' ' -f2 "$file" | median)
    median_mib=$(cut -d' ' -f3 "$file" | median | awk '{ printf "%.1f", $1 / 1024 }')
    fastest_seconds=$(cut -d' ' -f1 "$file" | sort -g | head -n 1)
    slowest_seconds=$(cut -d' ' -f1 "$file" | sort -g | tail -n 1)
}

# A over B with the given decimals, or "-" when B is zero (a run too short to
# register any CPU time).
quotient() {  # A B DECIMALS
    awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { if (b > 0) printf "%.*f", d, a / b; else printf "-" }'
}

# The result table: one row per contestant (name label), then the ratios of
# ours to the limit and to the native reference, by elapsed and by CPU time.
print_table() {  # SIZE_MIB then name label pairs for ours, limit, native
    local size=$1; shift
    local -A seconds cpu
    printf '%-44s %8s %8s %15s %8s %8s %9s\n' "" "seconds" "MiB/s" "MiB/s range" "CPU s" "MiB/CPUs" "peak MiB"
    while [ $# -gt 0 ]; do
        read_medians "$1"
        seconds[$1]=$median_seconds
        cpu[$1]=$median_cpu
        printf '%-44s %8.2f %8s %15s %8.2f %8s %9s\n' "$2" "$median_seconds" "$(quotient "$size" "$median_seconds" 1)" \
            "$(quotient "$size" "$slowest_seconds" 1)-$(quotient "$size" "$fastest_seconds" 1)" \
            "$median_cpu" "$(quotient "$size" "$median_cpu" 1)" "$median_mib"
        shift 2
    done
    printf 'throughput ratios          %14s %14s\n' "elapsed time" "CPU time"
    printf '  ours / limit             %14s %14s\n' "$(quotient "${seconds[limit]}" "${seconds[ours]}" 2)" "$(quotient "${cpu[limit]}" "${cpu[ours]}" 2)"
    printf '  ours / native            %14s %14s\n' "$(quotient "${seconds[native]}" "${seconds[ours]}" 2)" "$(quotient "${cpu[native]}" "${cpu[ours]}" 2)"
    printf '  limit / native           %14s %14s\n' "$(quotient "${seconds[native]}" "${seconds[limit]}" 2)" "$(quotient "${cpu[native]}" "${cpu[limit]}" 2)"
}

# Median elapsed time of starting and ending a Wine process that does
# nothing: part of every Wine figure, none of the native one.
measure_wine_start() {  # RUNS
    local runs=$1 i
    : > "$work/times-start"
    for i in $(seq 1 "$runs"); do
        run_timed /dev/null wine "$run_build_dir/bench/probes/start-probe.exe"
        echo "$run_seconds" >> "$work/times-start"
    done
    median < "$work/times-start"
}
