#!/usr/bin/env bash
# Peak resident memory of `keelwick-cli convert` over many drawings, to show that a batch run
# keeps the memory of one drawing: under 300 MB, and no more for 500 drawings than for 100.
#
#   bench/convert_memory.sh [build-folder] [counts] [drawing...]
#   KEELWICK_RUN=rescue bench/convert_memory.sh ...   the same for `keelwick-cli rescue`
#
# Defaults: build, "100 500", the three good example drawings. For each count, that many copies
# of the drawings are spread over nested folders (five per folder) and converted into a fresh
# destination. While the command runs, VmHWM (the peak resident set) of the keelwick-cli
# process itself is read from /proc/PID/status every 50 ms; the headless browser is a process
# of its own and is not counted. The last reading before the exit is the peak: VmHWM never
# decreases. Prints one line per count and checks that report.txt names every drawing and its
# preview image.
#
# Exit status 1 when a run fails (a drawing failed, the report misses one) or when the
# target is missed: unlike timings, the peak memory hardly depends on the machine's load.
set -euo pipefail
# Paths given are taken from the current folder; the defaults are the repository's.
build="$(realpath -m "${1:-$(dirname "$0")/../build}")"
counts="${2:-100 500}"
examples=()
for drawing in "${@:3}"; do
    examples+=("$(realpath "$drawing")")
done
cd "$(dirname "$0")/.."
if ((${#examples[@]} == 0)); then
    examples=(examples/logo-study.idraw examples/poster.idraw examples/product-sheet.idraw)
fi
cli="$build/src/keelwick-cli"
run="${KEELWICK_RUN:-convert}"
case "$run" in
convert) output_extension=png ;;
rescue) output_extension=svg ;;
*)
    echo "convert_memory.sh: KEELWICK_RUN is convert or rescue, not $run" >&2
    exit 2
    ;;
esac
limit_mb=300
# Growth from the smallest to the largest count still called flat: allocator noise.
allowed_growth_mb=10

if [ ! -x "$cli" ]; then
    echo "convert_memory.sh: $cli not found; build keelwick-cli first" >&2
    exit 2
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/keelwick-memory.XXXXXX")"
cli_pid=""
# shellcheck disable=SC2317  # called by the trap
cleanup() {
    # An interrupted run is stopped as Ctrl-C stops it: after its current drawing, ending its
    # browser. A second interrupt ends it at once.
    if [ -n "$cli_pid" ] && kill -0 "$cli_pid" 2>/dev/null; then
        kill -INT "$cli_pid" 2>/dev/null || true
        wait "$cli_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# Writes COUNT drawings below TREE, five per folder, folders two levels deep.
generate_drawings() {
    local tree="$1" count="$2" i folder source
    for ((i = 0; i < count; i++)); do
        folder="$tree/group-$((i / 50))/folder-$(((i / 5) % 10))"
        source="${examples[i % ${#examples[@]}]}"
        mkdir -p "$folder"
        cp "$source" "$folder/drawing-$(printf '%04d' "$i")-$(basename "$source")"
    done
}

# The peak resident set of PID in kB as last seen, polled every 50 ms until PID ends. A process
# that has ended (a zombie until it is waited for) has no VmHWM line.
peak_of() {
    local pid="$1" peak=0 seen key value
    while true; do
        seen=""
        {
            while read -r key value _; do
                if [ "$key" = "VmHWM:" ]; then
                    peak="$value"
                    seen=1
                fi
            done <"/proc/$pid/status"
        } 2>/dev/null || true
        [ -n "$seen" ] || break
        sleep 0.05
    done
    echo "$peak"
}

# What report.txt says of each saved drawing's output, as the path alone.
saved_paths() {
    if [ "$run" = convert ]; then
        sed -n 's/^  PNG preview image saved to: \(.*\)\. SVG checked in memory only\.$/\1/p' "$1"
    else
        sed -n 's/^  Saved to: \(.*\)$/\1/p' "$1"
    fi
}

# Whether REPORT names every drawing of TREE once, with its output below DESTINATION.
report_lists_every_drawing() {
    local tree="$1" destination="$2"
    local report="$destination/report.txt"
    [ -f "$report" ] || return 1
    diff -q \
        <(cd "$tree" && find . -name '*.idraw' -printf '%f\n' | sort) \
        <(sed -E -n 's/^(✓|✕) //p' "$report" | sort) >/dev/null || return 1
    diff -q \
        <(cd "$tree" && find . -name '*.idraw' -printf "$destination/%P\n" |
            sed "s/\\.idraw\$/.$output_extension/" | sort) \
        <(saved_paths "$report" | sort) >/dev/null
}

# Prints a decimal fraction of two integers with one decimal place.
ratio() {
    local tenths=$(((10 * $1 + $2 / 2) / $2))
    echo "$((tenths / 10)).$((tenths % 10))"
}

echo "keelwick-cli $run; machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-9s %14s %10s %15s %12s %s\n' drawings "peak RSS (MB)" "wall (s)" "drawings/s" \
    "exit status" report
failed=0
peaks=()
for count in $counts; do
    tree="$scratch/drawings-$count"
    destination="$scratch/previews-$count"
    generate_drawings "$tree" "$count"

    start_ns="$(date +%s%N)"
    # The settings go to a folder of the run's own: the all-time count is not the user's.
    XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=offscreen \
        "$cli" "$run" "$tree" --to "$destination" >"$scratch/output-$count.txt" 2>&1 &
    cli_pid=$!
    peak_kb="$(peak_of "$cli_pid")"
    status=0
    wait "$cli_pid" || status=$?
    cli_pid=""
    elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))

    if report_lists_every_drawing "$tree" "$destination"; then
        report="complete"
    else
        report="INCOMPLETE"
        failed=1
    fi
    [ "$status" -eq 0 ] || failed=1
    peaks+=("$((peak_kb / 1024))")
    printf '%-9s %14s %10s %15s %12s %s\n' "$count" "$(ratio "$peak_kb" 1024)" \
        "$(ratio "$elapsed_ms" 1000)" "$(ratio "$((count * 1000))" "$elapsed_ms")" "$status" \
        "$report"
    if [ "$status" -ne 0 ]; then
        tail -n 5 "$scratch/output-$count.txt" >&2
    fi
    rm -rf "$tree" "$destination"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

highest=0
for peak in "${peaks[@]}"; do
    if ((peak > highest)); then
        highest=$peak
    fi
done
growth=$((peaks[${#peaks[@]} - 1] - peaks[0]))
if ((highest < limit_mb && growth <= allowed_growth_mb)); then
    echo "target (peak under $limit_mb MB, flat with the count): met (highest ${highest} MB," \
        "growth ${growth} MB)"
else
    echo "target (peak under $limit_mb MB, flat with the count): missed (highest ${highest} MB," \
        "growth ${growth} MB)"
    failed=1
fi
exit "$failed"
