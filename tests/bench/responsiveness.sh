#!/usr/bin/env bash
# How long the window goes without answering messages during whole runs on
# the simulated server (all three products, the database padded by 128 MB),
# the engine taking 20 s to compact (BENCH_JET_COMPACT_MS). The driver asks the
# window from outside, again and again, with SendMessageTimeout (WM_NULL);
# the longest stretch between two answers is the figure (BENCH_VERBOSE=1
# prints every silence over 550 ms). Windows calls
# a window "Not Responding" after 5 s; the target is 0.6 s, the run's own
# progress step sleeping 500 ms without taking messages. Not a test: it
# prints figures. Usage: tests/bench/responsiveness.sh [RUNS]   (default 1)
set -euo pipefail
runs=${1:-1}
# shellcheck source=../wine/lib.sh
source "$(dirname "$0")/../wine/lib.sh"
export BENCH_JET_COMPACT_MS=${BENCH_JET_COMPACT_MS:-20000}
readonly compacting="Compacting and repairing database..."

bench_start
bench_make_server --pad-mb 128 >/dev/null

# A figure of the probe's report of run $i.
reading() { sed -n "s/^$1: //p" "$BENCH_TMP/probe$i.txt"; }

worst=0
for ((i = 1; i <= runs; i++)); do
    if ((i > 1)); then
        bench_start_suite_programs
        bench_wait_until 'bench_service_is Teamharbor RUNNING && bench_service_is "Quorvin Mail Server" RUNNING' 30
    fi
    BENCH_WINE_TIMEOUT=200 bench_wine "$BENCH_EXE" >/dev/null 2>&1 &
    app=$!
    bench_wine "$BENCH_DRIVER" wait-window 30000 >/dev/null
    pid=$(bench_wine_text "$BENCH_DRIVER" pid)
    BENCH_WINE_TIMEOUT=200 bench_wine_text "$BENCH_DRIVER" --pid "$pid" responsiveness 180000 \
        --until-visible cmdOpenDataFolder --during "$compacting" --gaps 550 >"$BENCH_TMP/probe$i.txt" &
    probe=$!
    BENCH_WINE_TIMEOUT=200 bench_wine_text "$BENCH_DRIVER" --pid "$pid" watch-status 180000 \
        --until-visible cmdOpenDataFolder --click cmdCompact >"$BENCH_TMP/run$i.txt"
    wait "$probe" || bench_die "run $i: the probe failed: $(cat "$BENCH_TMP/probe$i.txt")"
    [[ -z ${BENCH_VERBOSE:-} ]] || cat "$BENCH_TMP/run$i.txt" "$BENCH_TMP/probe$i.txt"
    longest=$(reading LONGEST_SILENCE_MS)
    [[ -n $longest ]] || bench_die "run $i gave no figure"
    ((longest > worst)) && worst=$longest
    echo "run $i: $(sed -n 's/^ELAPSED_MS: //p' "$BENCH_TMP/run$i.txt") ms, $(reading ANSWERS) answers;" \
        "longest silence ${longest} ms (between \"$(reading LONGEST_SILENCE_BETWEEN | sed 's/ | /" and "/')\");" \
        "compaction $(reading DURING_MS) ms: $(reading DURING_ANSWERS) answers, longest silence" \
        "$(reading DURING_LONGEST_SILENCE_MS) ms"
    bench_wine "$BENCH_DRIVER" click cmdClose >/dev/null
    wait "$app" || true
done
echo "longest silence over $runs run(s): ${worst} ms (target <= 600 ms; \"Not Responding\" at 5000 ms)"
