#!/usr/bin/env bash
# The wall time of whole runs on the simulated server against the sum of the
# run's own waits (its progress steps, 500 ms each). Not a test: it prints
# figures. Usage: tests/bench/benchmark.sh [RUNS]   (default 5)
set -euo pipefail
runs=${1:-5}
# shellcheck source=../wine/lib.sh
source "$(dirname "$0")/../wine/lib.sh"

exe="$BUILD_DIR/src/platform/win32/CompactAndRepair.exe"
driver="$BUILD_DIR/tests/bench/driver/driver.exe"
# All three products: 20 steps in the run, 3 in the compaction, 10 in the grants.
readonly steps=33
readonly floor_ms=$((steps * 500))

bench_start
bench_make_server >/dev/null

elapsed=()
for ((i = 1; i <= runs; i++)); do
    if ((i > 1)); then
        # What the previous run ended comes back, as on a server in use.
        for program in THAdmin.exe TPAdmin.exe QOAdmin.exe; do bench_start_program "$program" >/dev/null; done
        bench_start_program THService.exe --hold "$BENCH_DB" >/dev/null
        bench_start_program QMSSrv.exe --hold "$BENCH_DB" >/dev/null
        bench_wait_until 'bench_service_is Teamharbor RUNNING && bench_service_is "Quorvin Mail Server" RUNNING' 30
    fi
    bench_wine "$exe" >/dev/null 2>&1 &
    app=$!
    bench_wine "$driver" wait-window 30000 >/dev/null
    bench_wine_text "$driver" watch-status 120000 --until-visible cmdOpenDataFolder --click cmdCompact \
        >"$BENCH_TMP/run$i.txt"
    ms=$(sed -n 's/^ELAPSED_MS: //p' "$BENCH_TMP/run$i.txt")
    [[ -z ${BENCH_VERBOSE:-} ]] || grep '^+' "$BENCH_TMP/run$i.txt"
    [[ -n $ms ]] || bench_die "run $i did not finish"
    elapsed+=("$ms")
    bench_wine "$driver" click cmdClose >/dev/null
    wait "$app" || true
    echo "run $i: ${ms} ms"
done

median=$(printf '%s\n' "${elapsed[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
ratio=$(awk -v m="$median" -v f="$floor_ms" 'BEGIN { printf "%.3f", m / f }')
echo "median of $runs runs: ${median} ms; the run's own waits: ${floor_ms} ms; ratio ${ratio} (target <= 1.05)"
