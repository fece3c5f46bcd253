#!/usr/bin/env bash
# Counts the unzip runs of the analysis: `keelwick-cli analyze` over a generated tree of
# drawings, traced with strace. Every run must list the archive (-Z1) or extract one entry
# to standard output (-p), never unpack it whole, and there must be at most three per
# drawing. Usage: bench/analysis_unzip_runs.sh [BUILD] [DRAWINGS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-200}"
cli="$build/src/keelwick-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

source bench/example_tree.sh
make_example_tree "$work/tree" "$count" 10

start=$(date +%s%N)
QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=execve -e signal=none -o "$work/trace" \
    "$cli" analyze --json "$work/tree" > "$work/analysis.json"
end=$(date +%s%N)

runs=$(grep -c 'execve("/usr/bin/unzip"' "$work/trace" || true)
whole=$(grep 'execve("/usr/bin/unzip"' "$work/trace" | grep -vc -e '"-Z1"' -e '"-p"' || true)
found=$(grep -c '"displayPath"' "$work/analysis.json" || true)
awk -v count="$count" -v found="$found" -v runs="$runs" -v whole="$whole" \
    -v nanoseconds="$((end - start))" 'BEGIN {
        printf "drawings %d, found %d, unzip runs %d (%.2f per drawing), whole unpackings %d, %.2f s traced\n",
            count, found, runs, runs / count, whole, nanoseconds / 1e9 }'
if [ "$found" -ne "$count" ] || [ "$whole" -ne 0 ] || [ "$runs" -gt $((3 * count)) ]; then
    echo "FAILED: expected every drawing found, no whole unpacking and at most 3 runs each" >&2
    exit 1
fi
