#!/usr/bin/env bash
# Drawings per second of a batch run with one drawing in flight against several, side by side:
# `keelwick-cli convert` (or, with KEELWICK_RUN=rescue, `rescue` without previews) over COUNT
# copies of the three good example drawings, five per folder, into fresh destinations, with
# `--jobs 1` and then with each of JOBS, ROUNDS times in turn.
#
#   bench/convert_throughput.sh [build-folder] [count] [rounds] [jobs...]
#
# Defaults: build, 60, 3, and the default number of jobs (none given: one per core). Prints one
# line per run: wall time, drawings per second, the CPU seconds of its headless browser, and
# the peak memory of keelwick-cli (VmHWM) and of keelwick-cli and the browser together (the
# sum of their proportional set sizes, which counts shared pages once). The browser's figures are
# sampled every 50 ms from /proc (all processes of its process group: the browser, its
# renderers, GPU and utility processes): the CPU of a helper that ended between two samples is
# missed, so they are lower bounds. The load average before and after is printed too.
set -euo pipefail
build="$(realpath -m "${1:-$(dirname "$0")/../build}")"
count="${2:-60}"
rounds="${3:-3}"
jobs_list=("${@:4}")
cd "$(dirname "$0")/.."
cli="$build/src/keelwick-cli"
run="${KEELWICK_RUN:-convert}"
if [ ! -x "$cli" ]; then
    echo "convert_throughput.sh: $cli not found; build keelwick-cli first" >&2
    exit 2
fi
ticks_per_second=$(getconf CLK_TCK)

scratch="$(mktemp -d "${TMPDIR:-/tmp}/keelwick-throughput.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
source bench/example_tree.sh
make_example_tree "$scratch/tree" "$count" 5

# The proportional set size of process $1 in kB: its private memory and its share of what it
# shares with others, so that the sum over processes counts shared pages once.
pss_kb() {
    awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || true
}

# CPU ticks and proportional set size (kB) of the processes of process group $1.
group_usage() {
    local ticks=0 kb=0 pid fields pss
    for pid in $(pgrep -g "$1" 2>/dev/null); do
        fields=$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null) || continue
        read -r -a stat <<<"$fields"
        ticks=$((ticks + stat[11] + stat[12]))
        pss=$(pss_kb "$pid")
        kb=$((kb + ${pss:-0}))
    done
    echo "$ticks $kb"
}

# One run with --jobs $1; prints its figures.
measure() {
    local jobs=$1 out="$scratch/out-$1-$RANDOM" start end browser="" child
    local browser_ticks=0 peak_kb=0 cli_kb=0 now_kb hwm_kb ticks group_kb
    start=$(date +%s%N)
    "$cli" "$run" "$scratch/tree" --to "$out" --jobs "$jobs" \
        >"$scratch/stdout" 2>/dev/null &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        if [ -z "$browser" ]; then
            for child in $(pgrep -P "$pid" 2>/dev/null); do
                [ "$(ps -o comm= -p "$child")" = chromium ] && browser=$child
            done
        fi
        now_kb=$(pss_kb "$pid")
        hwm_kb=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
        [ -n "$hwm_kb" ] && cli_kb=$hwm_kb
        if [ -n "$browser" ]; then
            read -r ticks group_kb <<<"$(group_usage "$browser")"
            ((ticks > browser_ticks)) && browser_ticks=$ticks
            now_kb=$((${now_kb:-0} + group_kb))
        fi
        ((${now_kb:-0} > peak_kb)) && peak_kb=${now_kb:-0}
        sleep 0.05
    done
    wait "$pid" || true
    end=$(date +%s%N)
    local written
    written=$(find "$out" -name '*.png' -o -name '*.svg' | wc -l)
    awk -v jobs="$jobs" -v count="$count" -v written="$written" -v ns=$((end - start)) \
        -v browser="$browser_ticks" -v hz="$ticks_per_second" -v cli_kb="$cli_kb" \
        -v peak_kb="$peak_kb" 'BEGIN {
        printf "--jobs %-2s %6.2f s %6.1f drawings/s  browser CPU >= %5.2f s  keelwick-cli peak %5.1f MB  with browser peak %6.1f MB  (%d files)\n",
            jobs, ns / 1e9, count / (ns / 1e9), browser / hz, cli_kb / 1024, peak_kb / 1024, written }'
    rm -rf "$out"
}

echo "$run over $count drawings; load average $(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 1; round <= rounds; round++)); do
    measure 1
    if ((${#jobs_list[@]} == 0)); then
        measure "$(nproc)"
    else
        for jobs in "${jobs_list[@]}"; do
            measure "$jobs"
        done
    fi
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
