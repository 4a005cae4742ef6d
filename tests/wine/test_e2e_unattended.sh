#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# Runs without a person, as the Task Scheduler starts them: "/unattended" on
# a server with everything installed ends by itself with exit code 0 and a
# log beside the database that holds every status text in order, the sizes
# and the backup; then, with a database the engine cannot read, it ends with
# the failed compaction's exit code without ever showing a box, the message
# in the log, and the suite's services running again.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server
db_file=$(bench_unix_path "$BENCH_DB")
log_file="$db_file.log"

# Runs the program unattended to its end; prints its exit code. A box would
# hold it until its time limit, and then the code is not the run's.
run_unattended() {
    local status=0
    BENCH_WINE_TIMEOUT=150 bench_wine "$BENCH_EXE" /unattended >>"$BENCH_TMP/program.log" 2>&1 || status=$?
    echo "$status"
}

# The log's lines without their time stamps, which must all have one form.
log_lines() {
    tr -d '\r' <"$log_file" | sed -n 's/^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9:]\{8\}\.[0-9]\{3\} //p'
}

# --- a whole run -------------------------------------------------------------------
e2e_snapshot_database
bench_expect_eq "the run ends by itself with exit code 0" 0 "$(run_unattended)"
bench_expect_eq "every line of the log has its time stamp" "$(tr -d '\r' <"$log_file" | wc -l)" "$(log_lines | wc -l)"
backup=$(log_lines | sed -n 's/^Backup: //p')
bench_expect_eq "the log holds every status text in order" \
    "$(printf 'Status: %s\n' "${E2E_WHOLE_RUN[@]}" "${E2E_COMPLETE_PREFIX}$backup")" "$(log_lines | grep '^Status: ')"
bench_expect_eq "the log gives the sizes in bytes" "$(stat -c %s "$db_file") $(stat -c %s "$db_file")" \
    "$(log_lines | sed -n 's/^Database size before: //p') $(log_lines | sed -n 's/^Database size after: //p')"
bench_expect_eq "the backup it names is the old database" "$E2E_DB_SUM" \
    "$(sha256sum <"$(bench_unix_path "${backup:-C:\\none}")" 2>/dev/null || true)"
bench_expect "its last line is the outcome" grep -q '^Outcome: finished; exit code 0; after [0-9]* ms$' \
    <<<"$(log_lines | tail -n 1)"

# --- a compaction that fails ----------------------------------------------------------
head -c 4096 /dev/urandom >"$db_file"
lines_before=$(log_lines | wc -l)
bench_expect_eq "a failed compaction ends it with exit code 3" 3 "$(run_unattended)"
failed=$(log_lines | tail -n +$((lines_before + 1)))
bench_expect "the message is in the log instead of a box" \
    grep -q '^Message: Could not compact and repair database\. .*Error was: ' <<<"$failed"
bench_expect "what the run stopped is started again first" grep -qx 'Starting again what this run stopped' <<<"$failed"
e2e_expect_suite RUNNING "2 3" "after the failed compaction"
e2e_expect_iisreset "IIS was started again" stop start stop start
bench_expect "its last line is the outcome" grep -q '^Outcome: the database could not be compacted; exit code 3; ' \
    <<<"$(tail -n 1 <<<"$failed")"

bench_finish
