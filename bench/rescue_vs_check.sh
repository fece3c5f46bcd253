#!/usr/bin/env bash
# A rescue run without previews against a check run of the same drawings, side by side: the
# rescue never starts the browser, so it should take a fraction of the check's time.
#
#   bench/rescue_vs_check.sh [build-folder] [count] [rounds]
#
# Defaults: build, 60 drawings (copies of the three good example drawings), 3 rounds. Each
# round runs `keelwick-cli convert` and `keelwick-cli rescue` over the same tree into fresh
# destinations, one after the other, so both see the same load; the ratio of their wall
# times is printed per round, then the median. Exit status 1 when a run fails.
set -euo pipefail
build="$(realpath -m "${1:-$(dirname "$0")/../build}")"
count="${2:-60}"
rounds="${3:-3}"
cd "$(dirname "$0")/.."
cli="$build/src/keelwick-cli"
[ -x "$cli" ] || {
    echo "rescue_vs_check.sh: $cli not found; build keelwick-cli first" >&2
    exit 2
}
scratch="$(mktemp -d "${TMPDIR:-/tmp}/keelwick-rescue-bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
source bench/example_tree.sh
make_example_tree "$scratch/drawings" "$count" 10

# Wall time of one run in milliseconds; the run's output goes to a log.
timed() {
    local start status=0
    start="$(date +%s%N)"
    XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=offscreen \
        "$cli" "$1" "$scratch/drawings" --to "$2" >>"$scratch/log.txt" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "rescue_vs_check.sh: keelwick-cli $1 failed ($status)" >&2
        tail -n 5 "$scratch/log.txt" >&2
        exit 1
    fi
    echo $((($(date +%s%N) - start) / 1000000))
}

echo "$count drawings; machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %12s %12s %8s\n' round "check (s)" "rescue (s)" ratio
ratios=()
for ((round = 1; round <= rounds; round++)); do
    check_ms="$(timed convert "$scratch/check-$round")"
    rescue_ms="$(timed rescue "$scratch/rescue-$round")"
    ratio_tenths=$(((10 * check_ms + rescue_ms / 2) / rescue_ms))
    ratios+=("$ratio_tenths")
    printf '%-6s %12s %12s %8s\n' "$round" "$((check_ms / 1000)).$(((check_ms % 1000) / 100))" \
        "$((rescue_ms / 1000)).$(((rescue_ms % 1000) / 100))" \
        "$((ratio_tenths / 10)).$((ratio_tenths % 10))"
    rm -rf "$scratch/check-$round" "$scratch/rescue-$round"
done
median="$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")"
echo "median: the rescue run took 1/$((median / 10)).$((median % 10)) of the check run's time"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
