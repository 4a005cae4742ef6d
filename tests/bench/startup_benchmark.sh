#!/usr/bin/env bash
# Cold start to the window shown, under Wine: the program (on the simulated
# server, so that start-up reads its registry and host name) against two
# yardsticks built the same way: a bare Win32 window, and the program's own
# frame and child windows with nothing else (Wine's cost of the windows
# themselves). Not a test: it prints figures.
# Usage: tests/bench/startup_benchmark.sh [RUNS]   (default 7)
set -euo pipefail
runs=${1:-7}
# shellcheck source=../wine/lib.sh
source "$(dirname "$0")/../wine/lib.sh"

bench_start
bench_make_server --no-programs --no-services >/dev/null

# Milliseconds from the start of the program's process to its window shown,
# seen by the driver polling every 5 ms; the driver is already running.
time_to_window() {
    local exe=$1 out start
    out="$BENCH_TMP/driver.out"
    bench_wine "$BENCH_DRIVER" wait-window 60000 --interval 5 >"$out" 2>&1 &
    local watcher=$!
    # The driver's own start-up is over before the program starts.
    sleep 1
    start=${EPOCHREALTIME/./}
    bench_wine "$exe" >/dev/null 2>&1 &
    local app=$!
    wait "$watcher"
    echo $(((${EPOCHREALTIME/./} - start) / 1000))
    bench_wine "$BENCH_DRIVER" close >/dev/null 2>&1 || true
    wait "$app" 2>/dev/null || true
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ratio() { awk -v p="$1" -v b="$2" 'BEGIN { printf "%.2f", p / b }'; }

program=() bare=() controls=()
for ((i = 1; i <= runs; i++)); do
    program+=("$(time_to_window "$BENCH_EXE")")
    bare+=("$(time_to_window "$BUILD_DIR/tests/bench/bare_window/bare_window.exe")")
    controls+=("$(time_to_window "$BUILD_DIR/tests/bench/bare_controls/bare_controls.exe")")
    echo "run $i: program ${program[-1]} ms, bare window ${bare[-1]} ms, same controls ${controls[-1]} ms"
done
p=$(printf '%s\n' "${program[@]}" | median)
b=$(printf '%s\n' "${bare[@]}" | median)
c=$(printf '%s\n' "${controls[@]}" | median)
echo "median of $runs runs: program $p ms, bare window $b ms, same controls $c ms"
echo "ratio to the bare window $(ratio "$p" "$b"), to the same controls $(ratio "$p" "$c")"
