#!/usr/bin/env bash
# Runs every tests/wine/test_*.sh (each an executable script that sources
# lib.sh and exits 0 when it passes) and prints each with PASS or FAIL and its
# time. Each test has a bench of its own (display, prefix, wineserver), so
# several run at once: BENCH_JOBS of them (default 3; they mostly wait on
# the program's half-second steps). Each test's output goes to
# $ARTIFACTS/logs/<test>.log; a failing test's log is printed too. The last
# line is "N passed, M failed"; the exit status is non-zero if any failed.
#
#   tests/wine/run_all.sh [NAME_PATTERN...]   (e.g. run_all.sh bench e2e)
#
# Environment: BUILD_DIR (default build/windows), BENCH_TEMPLATE (default
# build/bench-template), ARTIFACTS (default build/artifacts), BENCH_JOBS,
# BENCH_TEST_TIMEOUT (seconds for one test, default 600).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$repo/build/windows}"
export BENCH_TEMPLATE="${BENCH_TEMPLATE:-$repo/build/bench-template}"
export ARTIFACTS="${ARTIFACTS:-$repo/build/artifacts}"
jobs=${BENCH_JOBS:-3}
logs="$ARTIFACTS/logs"
mkdir -p "$logs"

# The template once, up front, so that no test's time includes it.
if ! "$repo/tests/bench/make_template.sh" "$BUILD_DIR" "$BENCH_TEMPLATE"; then
    echo "the template prefix could not be made"
    echo "0 passed, 1 failed"
    exit 1
fi

# The X servers' socket folder, made once: benches that start their Xvfb at
# the same moment would otherwise race to create it on a fresh machine.
mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix

tests=()
for pattern in "${@:-}"; do
    for test in "$here"/test_*"$pattern"*.sh; do
        [[ -e $test && " ${tests[*]} " != *" $test "* ]] && tests+=("$test")
    done
done

# One test, its verdict into $logs/<name>.status as "STATUS SECONDS".
run_one() {
    local test=$1 name start status took
    name=$(basename "$test" .sh)
    start=${EPOCHREALTIME/./}
    # Straight into a file, not through a pipe: processes a test leaves to
    # Wine inherit its output, and a pipe would wait for them.
    timeout -k 30 "${BENCH_TEST_TIMEOUT:-600}" "$test" </dev/null >"$logs/$name.log" 2>&1
    status=$?
    took=$(((${EPOCHREALTIME/./} - start) / 100000))
    echo "$status $((took / 10)).$((took % 10))" >"$logs/$name.status"
}

report() {
    local name=$1 status took
    read -r status took <"$logs/$name.status"
    if ((status == 0)); then
        passed=$((passed + 1))
        printf 'PASS  %-40s %6s s\n' "$name" "$took"
    else
        failed=$((failed + 1))
        printf 'FAIL  %-40s %6s s  (exit %d)\n' "$name" "$took" "$status"
        sed 's/^/    | /' "$logs/$name.log"
    fi
}

passed=0
failed=0
declare -A running=()
for test in "${tests[@]}"; do
    while ((${#running[@]} >= jobs)); do
        wait -n -p done_pid
        report "${running[$done_pid]}"
        unset "running[$done_pid]"
    done
    run_one "$test" &
    running[$!]=$(basename "$test" .sh)
done
while ((${#running[@]})); do
    wait -n -p done_pid
    report "${running[$done_pid]}"
    unset "running[$done_pid]"
done

echo "$passed passed, $failed failed"
((failed == 0))
