#!/usr/bin/env bash
# The desktop window's start: bench_window_start run RUNS times (after one run to warm the
# caches), with the median time from main's start, from the kernel's start of the process and
# from this script's launch of it to the window's first frame; then, when xev is installed
# (x11-utils), the real keelwick program RUNS times, timed from its launch to the mapping of
# its window; last, the idle window's CPU time over 5 s.
#
# Usage: bench/window_start.sh [BUILD_DIR] [RUNS]   (default: build 10)
# Runs itself under Xvfb (1920x1080, 24 bits) when no display is set.
set -euo pipefail

build=${1:-build}
runs=${2:-10}
bench="$build/bench/bench_window_start"
program="$build/src/ui/keelwick"

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$build" "$runs"
fi
export QT_QPA_PLATFORM=xcb
for file in "$bench" "$program"; do
    [ -x "$file" ] || { echo "missing $file: build it first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() {
    sort -n | awk '{ values[NR] = $1 } END {
        if (NR == 0) { print "none"; exit }
        if (NR % 2) { printf "%.1f\n", values[(NR + 1) / 2] }
        else { printf "%.1f\n", (values[NR / 2] + values[NR / 2 + 1]) / 2 } }'
}

# The microseconds since the epoch, from bash's own clock (no process start in between).
now_us() { echo "${EPOCHREALTIME/./}"; }

# A figure ("name value") from a run's output.
figure() { awk -v name="$1" '$1 == name { print $2 }' "$2"; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bench" > /dev/null 2>&1
for run in $(seq "$runs"); do
    launched=$(now_us)
    "$bench" > "$work/run-$run" 2> /dev/null
    first=$(figure first-frame-epoch-us "$work/run-$run")
    echo "$(((first - launched) / 1000))" >> "$work/launch"
    figure main-to-first-frame-ms "$work/run-$run" >> "$work/main"
    figure process-to-first-frame-ms "$work/run-$run" >> "$work/process"
    figure shown-ms "$work/run-$run" >> "$work/shown"
done
echo "bench_window_start, $runs runs ($(figure graphics "$work/run-1") scene graph), median ms:"
echo "  main to DesktopWindow::show() returned: $(median < "$work/shown")"
echo "  main to first frame:                    $(median < "$work/main")"
echo "  process start to first frame:           $(median < "$work/process")  (10 ms ticks)"
echo "  launch to first frame:                  $(median < "$work/launch")"

# The real program, timed to the mapping of its window, which the X server reports to xev.
if command -v xev > /dev/null; then
    mkdir -p "$work/config/Keelwick"
    printf '[General]\nhasSeenGraphicHistoryTimeline=true\n' > "$work/config/Keelwick/Keelwick.conf"
    for run in $(seq 0 "$runs"); do
        events="$work/map-$run"
        : > "$events"
        mkfifo "$work/xev-$run"
        xev -root -event substructure > "$work/xev-$run" &
        xev=$!
        while read -r line; do
            if [[ $line == MapNotify* ]]; then echo "$(now_us)" >> "$events"; fi
        done < "$work/xev-$run" &
        reader=$!
        sleep 0.2  # until xev listens
        launched=$(now_us)
        XDG_CONFIG_HOME="$work/config" "$program" > /dev/null 2>&1 &
        keelwick=$!
        for _ in $(seq 200); do
            [ -s "$events" ] && break
            sleep 0.05
        done
        kill "$keelwick"
        wait "$keelwick" 2> /dev/null || true
        kill "$xev"
        wait "$xev" "$reader" 2> /dev/null || true
        mapped=$(head -n 1 "$events")
        # Run 0 warms the caches.
        if [ "$run" -gt 0 ] && [ -n "$mapped" ]; then
            echo "$(((mapped - launched) / 1000))" >> "$work/mapped"
        fi
    done
    echo "keelwick, $runs runs, median ms:"
    echo "  launch to window mapped:                $(median < "$work/mapped")"
else
    echo "keelwick: not timed (xev, from x11-utils, is not installed)"
fi

"$bench" --idle 5 > "$work/idle" 2> /dev/null
echo "idle window over $(figure idle-seconds "$work/idle") s: CPU $(figure idle-cpu-ms "$work/idle") ms" \
    "($(figure idle-cpu-ticks-ms "$work/idle") ms in /proc/self/stat), $(figure idle-frames "$work/idle") frames"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
