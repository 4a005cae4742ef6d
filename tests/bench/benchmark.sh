#!/usr/bin/env bash
# The wall time of whole runs on the simulated server against the sum of the
# run's own waits (its progress steps, 500 ms each), and beside it what the
# run's service requests and program starts cost on their own. Not a test: it
# prints figures. Usage: tests/bench/benchmark.sh [RUNS]   (default 5)
set -euo pipefail
runs=${1:-5}
# shellcheck source=../wine/lib.sh
source "$(dirname "$0")/../wine/lib.sh"

platform_cost="$BUILD_DIR/tests/bench/platform_cost/platform_cost.exe"
# All three products: 20 steps in the run, 3 in the compaction, 10 in the grants.
readonly steps=33
readonly floor_ms=$((steps * 500))

bench_start
bench_make_server >/dev/null

elapsed=()
services=()
launches=()
for ((i = 1; i <= runs; i++)); do
    if ((i > 1)); then
        # What the previous run ended comes back, as on a server in use.
        bench_start_suite_programs
        bench_wait_until 'bench_service_is Teamharbor RUNNING && bench_service_is "Quorvin Mail Server" RUNNING' 30
    fi
    bench_wine "$BENCH_EXE" >/dev/null 2>&1 &
    app=$!
    bench_wine "$BENCH_DRIVER" wait-window 30000 >/dev/null
    bench_wine_text "$BENCH_DRIVER" watch-status 120000 --until-visible cmdOpenDataFolder --click cmdCompact \
        >"$BENCH_TMP/run$i.txt"
    ms=$(sed -n 's/^ELAPSED_MS: //p' "$BENCH_TMP/run$i.txt")
    [[ -z ${BENCH_VERBOSE:-} ]] || grep '^+' "$BENCH_TMP/run$i.txt"
    [[ -n $ms ]] || bench_die "run $i did not finish"
    elapsed+=("$ms")
    bench_wine "$BENCH_DRIVER" click cmdClose >/dev/null
    wait "$app" || true
    echo "run $i: ${ms} ms"

    # The part of the overhead that is the system's: the same service requests
    # and launches, timed on their own in one process, right after each run.
    bench_wine_text "$platform_cost" >"$BENCH_TMP/cost$i.txt" ||
        bench_die "platform_cost failed: $(cat "$BENCH_TMP/cost$i.txt")"
    [[ -z ${BENCH_VERBOSE:-} ]] || grep ' ms$' "$BENCH_TMP/cost$i.txt"
    services+=("$(sed -n 's/^SERVICE_MS: //p' "$BENCH_TMP/cost$i.txt")")
    launches+=("$(sed -n 's/^LAUNCH_MS: //p' "$BENCH_TMP/cost$i.txt")")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v m="$1" -v f="$floor_ms" 'BEGIN { printf "%.3f", m / f }'; }

run_median=$(median "${elapsed[@]}")
service_median=$(median "${services[@]}")
launch_median=$(median "${launches[@]}")
echo "median of $runs runs: ${run_median} ms; the run's own waits: ${floor_ms} ms; ratio $(ratio "$run_median") (target <= 1.05)"
echo "the same system calls on their own, median of $runs: 4 service requests ${service_median} ms," \
    "2 launches of iisreset ${launch_median} ms; the waits and these calls alone: ratio" \
    "$(ratio $((floor_ms + ${service_median%.*} + ${launch_median%.*})))"
