#!/usr/bin/env bash
# How much of the machine a batch run keeps busy: `keelwick-cli convert` over COUNT copies of
# the three good example drawings, with each of JOBS in turn, ROUNDS times, nothing else
# sampled (the sampling of convert_throughput.sh costs CPU of its own). Prints per run the wall
# time, drawings per second, the cores busy on average (all processes, from /proc/stat: run
# it on a quiet machine) and so the CPU per drawing, browser included.
#
#   bench/convert_busy_cores.sh [build-folder] [count] [rounds] [jobs...]
#
# Defaults: build, 60, 3, and 1 against the number of cores.
set -euo pipefail
build="$(realpath -m "${1:-$(dirname "$0")/../build}")"
count="${2:-60}"
rounds="${3:-3}"
jobs_list=("${@:4}")
((${#jobs_list[@]})) || jobs_list=(1 "$(nproc)")
cd "$(dirname "$0")/.."
cli="$build/src/keelwick-cli"
[ -x "$cli" ] || { echo "convert_busy_cores.sh: $cli not found; build keelwick-cli first" >&2; exit 2; }

scratch="$(mktemp -d "${TMPDIR:-/tmp}/keelwick-cores.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
source bench/example_tree.sh
make_example_tree "$scratch/tree" "$count" 5

# Busy and idle ticks of all processors since boot.
ticks() { awk '/^cpu / {print $2 + $3 + $4 + $7 + $8, $5 + $6}' /proc/stat; }

echo "convert over $count drawings on $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 1; round <= rounds; round++)); do
    for jobs in "${jobs_list[@]}"; do
        read -r busy0 idle0 < <(ticks)
        start=$(date +%s%N)
        "$cli" convert "$scratch/tree" --to "$scratch/out" --jobs "$jobs" >/dev/null 2>&1 || true
        end=$(date +%s%N)
        read -r busy1 idle1 < <(ticks)
        rm -rf "$scratch/out"
        awk -v jobs="$jobs" -v count="$count" -v ns=$((end - start)) -v cores="$(nproc)" \
            -v busy=$((busy1 - busy0)) -v idle=$((idle1 - idle0)) 'BEGIN {
            used = cores * busy / (busy + idle)
            printf "--jobs %-2s %6.2f s %6.1f drawings/s  busy %.2f of %d cores  CPU per drawing %3.0f ms\n",
                jobs, ns / 1e9, count / (ns / 1e9), used, cores, used * ns / 1e6 / count }'
    done
done
