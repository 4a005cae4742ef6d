#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# The kill test: whole runs on the simulated server, each ended by
# TerminateProcess (the driver's `terminate`, what ending a hung program or a
# crash does to the files) at a chosen moment. First two targeted kills: 200 ms
# after "Compact complete. Renaming old Database" shows, between the backup's
# second name and the replacing rename, and the moment "Putting compacted
# database in place" shows; then KILLS kills at random moments of a run (0 to
# 21 s after the press). After every kill a complete database must stand under
# its name (the old or the compacted one: the engine stand-in's copy is page
# for page and verified, so both are the original's bytes, and mdbtools must
# read the same tables and rows), and, with the suite started again as an
# administrator would, a second run of the program must finish. The engine
# takes 2 s to compact (BENCH_JET_COMPACT_MS), so that random kills also land
# in the compaction. Then the kill between the two names as a volume without
# hard links leaves it, and runs killed with the suite stopped, whose next
# start must find them. A start finds a killed run through the run's record
# in ProgramData (which only administrators write), never through the log
# beside the database; the first kill shows that the two hold the same lines.
# Prints each kill and a summary; exits 1 if any check failed.
#
#   tests/bench/kill_test.sh [KILLS]   (default 10; tests/wine/test_e2e_kill.sh runs it with 0)
set -euo pipefail
kills=${1:-10}
# shellcheck source=../wine/e2e_lib.sh
source "$(dirname "$0")/../wine/e2e_lib.sh"
export BENCH_JET_COMPACT_MS=${BENCH_JET_COMPACT_MS:-2000}

RENAMING="Compact complete. Renaming old Database"
PUTTING="Putting compacted database in place"

# Brings the suite back as a run leaves it: both services running (once any
# pending request has settled), the servers' programs running and holding the
# database, the administration programs running.
restore_suite() {
    local service q program
    for service in Teamharbor "Quorvin Mail Server" W3SVC; do
        q=$(printf '%q' "$service")
        bench_wait_until "bench_service_is $q RUNNING || bench_service_is $q STOPPED" 30 ||
            bench_die "$service stays pending"
        bench_service_is "$service" RUNNING || bench_start_service "$service"
    done
    for program in THService.exe QMSSrv.exe; do
        bench_process_running "$program" || bench_start_program "$program" --hold "$BENCH_DB" >/dev/null
    done
    for program in THAdmin.exe TPAdmin.exe QOAdmin.exe; do
        bench_process_running "$program" || bench_start_program "$program" >/dev/null
    done
}

# A run ended by the driver's terminate with the arguments given (which
# returns once the process has ended); sets KILLED (yes or no), KILLED_AT (the
# status the window showed) and KILLED_AFTER (ms). With --meanwhile CMD first,
# CMD runs once the run has begun, before the kill.
killed_run() {
    local out meanwhile=:
    [[ $1 == --meanwhile ]] && meanwhile=$2 && shift 2
    e2e_start_program
    e2e_begin_run "kill$((++runs))"
    eval "$meanwhile"
    KILLED=yes
    out=$(e2e_driver --pid "$E2E_PID" terminate 50000 "$@") || KILLED=no
    e2e_end_run 2>/dev/null || true
    e2e_exit_code >/dev/null
    KILLED_AT=$(sed -n 's/^KILLED_AT: //p' <<<"$out")
    KILLED_AFTER=$(sed -n 's/^KILLED_AFTER_MS: //p' <<<"$out")
}

# The program run to its end with the arguments given; prints its exit code.
run_program() {
    local status=0
    bench_wine "$BENCH_EXE" "$@" >>"$BENCH_TMP/program.log" 2>&1 || status=$?
    echo "$status"
}

# A start with a person after a kill: the question asked before the window
# shows (QUESTION), answered Yes, then the window (E2E_PID).
answered_start() {
    bench_wine "$BENCH_EXE" >>"$BENCH_TMP/program.log" 2>&1 &
    E2E_PROGRAM_JOB=$!
    QUESTION=$(e2e_driver answer-box 30000 --yes) || QUESTION=""
    e2e_driver wait-window 30000 >/dev/null || bench_die "the window did not appear after the question"
    E2E_PID=$(e2e_driver pid)
}

# After Yes: both services run again, and the window is Ready.
expect_suite_back() {
    local service
    for service in "${E2E_SUITE_SERVICES[@]}"; do
        bench_expect "$1, answered Yes: the $service service runs again" \
            bench_wait_until "bench_service_is $(printf '%q' "$service") RUNNING" 15
    done
    bench_expect_eq "$1: the window is Ready" "$E2E_READY_TEXT" "$(e2e_driver text lblStatus)"
    e2e_driver click cmdClose >/dev/null || true
    e2e_driver --pid "$E2E_PID" wait-gone 10000 >/dev/null || true
    e2e_exit_code >/dev/null
}

# The run log's lines from line FROM on, without their time stamps.
log_from() { tail -n +"$1" "$E2E_DB_FILE.log" | tr -d '\r' | cut -c25-; }

database_complete() {
    [[ $(sha256sum <"$E2E_DB_FILE" 2>/dev/null) == "$E2E_DB_SUM" ]] &&
        [[ $(e2e_database_content "$E2E_DB_FILE" 2>/dev/null) == "$E2E_DB_CONTENT" ]]
}

# After a kill: the database, then a run that must finish. LABEL names the kill.
check_and_run_again() {
    local label=$1 finished=no complete=no
    bench_expect_eq "$label: the program was ended by the kill" yes "$KILLED"
    database_complete && complete=yes
    bench_expect_eq "$label: a complete database stands under its name" yes "$complete"
    restore_suite
    local lines_before
    lines_before=$(wc -l <"$E2E_DB_FILE.log")
    e2e_start_program
    bench_expect "$label: the next start finds the interruption in the log" grep -q 'has no outcome: it was interrupted' \
        <<<"$(tail -n +$((lines_before + 1)) "$E2E_DB_FILE.log")"
    e2e_begin_run "again$runs"
    if e2e_end_run && [[ $(e2e_timeline | tail -n 1) == "$E2E_COMPLETE_PREFIX"* ]]; then finished=yes; fi
    bench_expect_eq "$label: a second run finishes" yes "$finished"
    bench_expect "$label: after it, the database is complete" database_complete
    e2e_driver click cmdClose >/dev/null || true
    e2e_driver --pid "$E2E_PID" wait-gone 10000 >/dev/null || true
    e2e_exit_code >/dev/null
    summary+=("$(printf '%-6s +%6s ms  %-45s complete: %-3s  second run: %s' "$label" "$KILLED_AFTER" \
        "${KILLED_AT:0:45}" "$complete" "$finished")")
    restore_suite
}

runs=0
summary=()
bench_start || bench_die "the bench did not start"
bench_make_server
e2e_snapshot_database

# Between the two names: the old database has its backup name as a second
# name, the compacted copy has not yet replaced it.
killed_run --when-status "$RENAMING" --after 200
bench_expect_eq "between the names: killed while the window said so" "$RENAMING" "$KILLED_AT"
copies=("$E2E_DB_FILE".*.tmp)
bench_expect_eq "between the names: the database has its second name, the whole compacted copy is beside it" \
    "2 1 $E2E_DB_SUM" "$(stat -c %h "$E2E_DB_FILE") ${#copies[@]} $(sha256sum <"${copies[0]}")"
bench_expect "between the names: the run's record in ProgramData has the lines of the log beside the database" \
    cmp "$E2E_DB_FILE.log" "$(bench_record_file "$BENCH_DB")"
check_and_run_again "swap"

killed_run --when-status "$PUTTING"
bench_expect_eq "in place: killed while the window said so" "$PUTTING" "$KILLED_AT"
check_and_run_again "place"

# Between the two names on a volume without hard links, where the old
# database has left its name for the backup's: the state of the first kill
# with the database's own name taken away. The next start puts the old
# database back under its name before it starts anything, removes the
# compacted copy, asks, and, answered Yes, starts the suite.
lines_before=$(wc -l <"$E2E_DB_FILE.log")
killed_run --when-status "$RENAMING" --after 200
record=$(log_from $((lines_before + 1)))
copy=$(sed -n 's/^Swap begins; compacted copy: //p' <<<"$record")
backup=$(sed -n 's/^Swap begins; backup name: //p' <<<"$record")
[[ $copy == "$BENCH_DB".*.tmp && $backup == "$BENCH_DB".*.tmpBackup ]] ||
    bench_die "no links: the killed run did not log its swap's two names: $copy | $backup"
copy_file=$(bench_unix_path "$copy")
backup_file=$(bench_unix_path "$backup")
old_inode=$(stat -c %i "$backup_file")
rm "$E2E_DB_FILE"
bench_expect_eq "no links: nothing under the name, the old database under the backup name, the copy beside it, no outcome" \
    "absent $E2E_DB_SUM $E2E_DB_SUM 0" "$([[ -e $E2E_DB_FILE ]] && echo present || echo absent) $(sha256sum \
        <"$backup_file") $(sha256sum <"$copy_file") $(grep -c '^Outcome: ' <<<"$record")"
lines_before=$(wc -l <"$E2E_DB_FILE.log")
starts_before=$(bench_started | wc -l)
answered_start
bench_expect "no links: the question says the database was put back" \
    grep -q '^The database has been put back under its name\.' <<<"$QUESTION"
database_complete && complete=yes || complete=no
bench_expect_eq "no links: the old database stands under its name again, the backup name and the copy are gone" \
    "$old_inode yes absent absent" "$(stat -c %i "$E2E_DB_FILE" 2>/dev/null) $complete $([[ -e $backup_file ]] &&
        echo present || echo absent) $([[ -e $copy_file ]] && echo present || echo absent)"
recovery=$(log_from $((lines_before + 1)))
renamed_at=$(grep -nxF "Renamed $backup to $BENCH_DB" <<<"$recovery" | cut -d: -f1) || true
started_at=$(grep -nE '^(StartService|Started) ' <<<"$recovery" | head -n 1 | cut -d: -f1) || true
bench_expect "no links: the log has the rename back before the first start (${renamed_at:-none} < ${started_at:-none})" \
    test "${renamed_at:-999}" -lt "${started_at:-0}"
bench_expect_eq "no links: each service started found the database under its name" $'held\nheld' \
    "$(bench_started | tail -n +$((starts_before + 1)) | awk -F'\t' '$1 ~ /^service:(Teamharbor|Quorvin Mail Server)$/ {
        print $3 }')"
bench_expect_eq "no links: the question's record and the start's, each marked" 2 \
    "$(grep -c '^Compact And Repair .*, after an interrupted run (pid [0-9]*)$' <<<"$recovery")"
expect_suite_back "no links"
restore_suite

for ((k = 1; k <= kills; k++)); do
    killed_run --after $((RANDOM % 21000))
    check_and_run_again "kill$k"
done

# A run killed in its compaction with the suite stopped, after a check
# (/check /unattended) came in the middle of it: the check is refused with one
# line in the log, and the next start still finds the interruption, asks,
# and, answered Yes, starts the suite again before the window is Ready. The
# engine takes a minute, so that the check is over long before the kill.
COMPACTING=${E2E_COMPACTING[1]}
lines_before=$(wc -l <"$E2E_DB_FILE.log")
checked=""
BENCH_JET_COMPACT_MS=60000 killed_run --meanwhile \
    'e2e_wait_for_status "$COMPACTING" 60 && checked=$(BENCH_WINE_TIMEOUT=30 run_program /check /unattended)' \
    --when-status "$COMPACTING"
bench_expect_eq "compacting: the check was refused with exit code 4, and the run killed in its compaction" \
    "4 $COMPACTING" "$checked $KILLED_AT"
bench_expect_eq "compacting: the refused check wrote one line, no record of its own" "1 0" "$(log_from \
    $((lines_before + 1)) | grep -cxE 'Refused \(pid [0-9]+\): another run of Compact And Repair is in progress on this server; nothing was stopped') $(
    log_from $((lines_before + 1)) | grep -c ', check only (pid')"
answered_start
bench_expect "compacting: the next start asks whether to start again what is not running" grep -qF \
    "did not end: its last status was \"$COMPACTING\"" <<<"$QUESTION"
expect_suite_back "compacting"

# The same, unattended: the scheduled run starts what the killed one left
# stopped, and then runs as usual.
killed_run --when-status "Stopping Services 1"
lines_before=$(wc -l <"$E2E_DB_FILE.log")
bench_expect_eq "stopped, unattended: the next run finishes" 0 "$(BENCH_WINE_TIMEOUT=150 run_program /unattended)"
bench_expect "stopped, unattended: it started again what was not running, and logged it" grep -q \
    'Outcome: interrupted run found, started again;' <<<"$(tail -n +$((lines_before + 1)) "$E2E_DB_FILE.log")"

# The recovery at system start: after a run killed with the suite stopped,
# /recover starts it again and ends with 0; after a run that ended, it has
# nothing to do and ends with 0 as well.
killed_run --when-status "Stopping Services 1"
bench_expect_eq "/recover after a kill: the suite started again, exit code 0" 0 \
    "$(BENCH_WINE_TIMEOUT=150 run_program /recover /unattended)"
for service in "${E2E_SUITE_SERVICES[@]}"; do
    bench_expect "/recover after a kill: the $service service runs" bench_service_is "$service" RUNNING
done
lines_before=$(wc -l <"$E2E_DB_FILE.log")
bench_expect_eq "/recover after a run that ended: exit code 0" 0 "$(BENCH_WINE_TIMEOUT=60 run_program /recover /unattended)"
bench_expect_eq "/recover after a run that ended: it wrote nothing" "$lines_before" "$(wc -l <"$E2E_DB_FILE.log")"

echo "# kills: where each landed, and what was found after it"
printf '#   %s\n' "${summary[@]}"
echo "# $((kills + 2)) kills ($kills at random moments), $BENCH_FAILURES failed check(s)"
bench_finish
