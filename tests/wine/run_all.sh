#!/usr/bin/env bash
# Runs every tests/wine/test_*.sh (each an executable script that sources
# lib.sh and exits 0 when it passes), one after the other, and prints each
# with PASS or FAIL and its time. Each test's output goes to
# $ARTIFACTS/logs/<test>.log; a failing test's log is printed too. The last
# line is "N passed, M failed"; the exit status is non-zero if any failed.
#
#   tests/wine/run_all.sh [NAME_PATTERN]   (e.g. run_all.sh bench: only test_*bench*.sh)
#
# Environment: BUILD_DIR (default build/windows), BENCH_TEMPLATE (default
# build/bench-template), ARTIFACTS (default build/artifacts).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$repo/build/windows}"
export BENCH_TEMPLATE="${BENCH_TEMPLATE:-$repo/build/bench-template}"
export ARTIFACTS="${ARTIFACTS:-$repo/build/artifacts}"
logs="$ARTIFACTS/logs"
mkdir -p "$logs"

# The template once, up front, so that no test's time includes it.
if ! "$repo/tests/bench/make_template.sh" "$BUILD_DIR" "$BENCH_TEMPLATE"; then
    echo "the template prefix could not be made"
    echo "0 passed, 1 failed"
    exit 1
fi

passed=0
failed=0
for test in "$here"/test_*"${1:-}"*.sh; do
    [[ -e $test ]] || continue
    name=$(basename "$test" .sh)
    log="$logs/$name.log"
    start=${EPOCHREALTIME/./}
    # Straight into a file, not through a pipe: processes a test leaves to
    # Wine inherit its output, and a pipe would wait for them.
    # A test that hangs is stopped after BENCH_TEST_TIMEOUT seconds.
    timeout -k 30 "${BENCH_TEST_TIMEOUT:-900}" "$test" </dev/null >"$log" 2>&1
    status=$?
    took=$(((${EPOCHREALTIME/./} - start) / 100000))
    took="$((took / 10)).$((took % 10)) s"
    if ((status == 0)); then
        passed=$((passed + 1))
        printf 'PASS  %-40s %8s\n' "$name" "$took"
    else
        failed=$((failed + 1))
        printf 'FAIL  %-40s %8s  (exit %d)\n' "$name" "$took" "$status"
        sed 's/^/    | /' "$log"
    fi
done

echo "$passed passed, $failed failed"
((failed == 0))
