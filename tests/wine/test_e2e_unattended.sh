#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# Runs without a person, as the Task Scheduler starts them: "/unattended" on
# a server with everything installed ends by itself with exit code 0 and a
# log beside the database that holds every status text in order, the sizes
# and the backup; then, with a database the engine cannot read, it ends with
# the failed compaction's exit code without ever showing a box, the message
# in the log, and the suite's services running again; so it does when the
# engine crashes in the middle of the compaction. Beside "/unattended" no
# argument shows a box, and a scheduled run is refused while a person's run
# is in progress, but not while a check's box waits for a person.
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
    BENCH_WINE_TIMEOUT=150 bench_wine "$BENCH_EXE" /unattended "$@" >>"$BENCH_TMP/program.log" 2>&1 || status=$?
    echo "$status"
}

# The log's lines without their time stamps, which must all have one form.
log_lines() {
    tr -d '\r' <"$log_file" | sed -n 's/^[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9:]\{8\}\.[0-9]\{3\} //p'
}

# --- a whole run -------------------------------------------------------------------
e2e_snapshot_database
# Wine's event log only traces what it is given.
program_log_before=0
[[ -f $BENCH_TMP/program.log ]] && program_log_before=$(wc -l <"$BENCH_TMP/program.log")
bench_expect_eq "the run ends by itself with exit code 0" 0 "$(WINEDEBUG=+eventlog run_unattended)"
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
events=$(tail -n +$((program_log_before + 1)) "$BENCH_TMP/program.log" | grep 'ReportEventW' || true)
bench_expect "one event for the Application log: information, id 1" grep -q 'ReportEventW (.*,0x0004,0x0000,0x00000001,' \
    <<<"$events"
# Wine traces each insertion string on a line of its own.
fields=$(sed -n 's/.*ReportEventW \(L".*"\)$/\1/p' <<<"$events" | tr -d '\r' | paste -sd '|')
echo "# event fields: $fields"
bench_expect "its fields: the outcome, the exit code, the database, the verification, the log" grep -qE \
    '^L"finished"\|L"0"\|L"C:\\\\Suite Data\\\\[^"]*"\|L"[^"]+"\|L"[0-9]+"\|L"[0-9]+"\|L"[0-9]+"\|L"verified"\|L"[^"]*\.log"$' \
    <<<"$fields"
bench_expect "the source is registered with the program as its message file" grep -qi 'EventMessageFile.*CompactAndRepair\.exe' \
    <<<"$(bench_reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Compact And Repair')"

# --- IIS that takes its time to stop -------------------------------------------------
# iisreset /stop takes 6 s, longer than the run's five IIS steps: the run waits
# for it, and IIS has stopped before the compaction starts.
lines_before=$(log_lines | wc -l)
bench_start_suite_programs
BENCH_IISRESET_LINGER_MS=6000 run_unattended /keep:2 >"$BENCH_TMP/slow_iis.status"
bench_expect_eq "with a slow iisreset the run still ends with exit code 0" 0 "$(cat "$BENCH_TMP/slow_iis.status")"
slow=$(log_lines | tail -n +$((lines_before + 1)))
bench_expect "the run waited for IIS to stop" grep -q '^Status: Waiting for IIS to stop\.\.\. ' <<<"$slow"
stopped_at=$(grep -n '^Ended with exit code 0 (pid [0-9]*): iisreset /stop$' <<<"$slow" | cut -d: -f1)
compacting_at=$(grep -n '^Status: About to compact and repair database\.\.\.$' <<<"$slow" | cut -d: -f1)
bench_expect "iisreset /stop was over before the compaction" test "${stopped_at:-999}" -lt "${compacting_at:-0}"
bench_expect "iisreset /start was awaited, its exit code logged" \
    grep -q '^Ended with exit code 0 (pid [0-9]*): iisreset /start$' <<<"$slow"
# Each wait says what it waits for; the step's own text is not shown again after it.
bench_expect "the run waited for IIS to start, saying so" \
    grep -q '^Status: Waiting for IIS to start\.\.\. [0-9]* s of at most 180 s$' <<<"$slow"
bench_expect_eq "after the wait for IIS to stop, the compaction's text comes next" \
    "Status: ${E2E_COMPACTING[0]}" "$(grep '^Status: ' <<<"$slow" | grep -A1 '^Status: Waiting for IIS to stop' | tail -n 1)"

# --- arguments that end it at once -------------------------------------------------
# Beside "/unattended" nothing shows a box: the usage and an unknown argument
# end it with their exit codes alone.
run_with() {
    local status=0
    BENCH_WINE_TIMEOUT=30 bench_wine "$BENCH_EXE" "$@" >>"$BENCH_TMP/program.log" 2>&1 || status=$?
    echo "$status"
}
bench_expect_eq "/unattended /? ends with 0, without a box" 0 "$(run_with /unattended /?)"
bench_expect_eq "/unattended /bogus ends with 6, without a box" 6 "$(run_with /bogus /unattended)"
# "/check" stops nothing: 0 when a run could start, the refused check's 4 when not.
stops_before=$(e2e_service_stops Teamharbor)
bench_expect_eq "/check /unattended on a good server ends with 0" 0 "$(run_with /check /unattended)"
bench_expect "... and logs what it found" grep -q '^Message: A run could start now.*Teamharbor: installed, running' \
    <<<"$(log_lines)"
mv "$db_file" "$db_file.away"
bench_expect_eq "/check /unattended without the database ends with 4" 4 "$(run_with /check /unattended)"
mv "$db_file.away" "$db_file"
bench_expect_eq "the checks stopped nothing" "$stops_before RUNNING" \
    "$(e2e_service_stops Teamharbor) $(bench_service_state Teamharbor)"
# The switch that makes the program the JET engine's host is taken only as
# the run gives it (the switch, its parent's handle, two connection strings, a
# pipe to answer on); any other way it ends at once with 6, without a window
# or a box.
bench_expect_eq "the engine's switch with one argument too many ends with 6" 6 "$(run_with /jet-engine-child 4 a b c)"
bench_expect_eq "the engine's switch with no handle of its parent ends with 6" 6 "$(run_with /jet-engine-child a b c)"
bench_expect_eq "the engine's switch with one argument too few ends with 6" 6 "$(run_with /jet-engine-child a)"
bench_expect_eq "the engine's switch in capitals ends with 6" 6 "$(run_with /JET-ENGINE-CHILD a b)"
bench_expect_eq "the engine's switch after another argument ends with 6" 6 "$(run_with a /jet-engine-child b)"
bench_expect_eq "the engine's switch without a pipe to answer on ends with 6" 6 "$(run_with /jet-engine-child a b)"

# --- a second run while one is in progress --------------------------------------------
# A person's run is under way when the scheduled one starts: the second is
# refused before it stops anything, and the first goes on to its end alone.
lines_before=$(log_lines | wc -l)
e2e_start_program /keep:2
e2e_begin_run
bench_expect "the person's run is under way" e2e_wait_for_status "Stopping Admin 2" 60
bench_expect_eq "the scheduled run is refused with exit code 4" 4 "$(run_unattended)"
e2e_expect_run_end "the person's run finishes"
# Only the run that holds the machine writes a record, its process id in its first line.
both=$(log_lines | tail -n +$((lines_before + 1)))
bench_expect_eq "the person's run has one record; the refused run wrote one line, no record" "1 1 0" \
    "$(grep -cF ", database $BENCH_DB (pid $E2E_PID)" <<<"$both") $(grep -cxE 'Refused \(pid [0-9]+\): another run of Compact And Repair is in progress on this server; nothing was stopped' \
        <<<"$both") $(grep -c '^Compact And Repair .*, unattended (pid [0-9]*)$' <<<"$both")"
bench_expect_eq "one compaction: one backup named in the log by the person's run" 3 "$(log_lines | grep -c '^Backup: ')"
bench_expect_eq "one set of grants" 12 "$(grep -c '^Grant: ' <<<"$both")"
e2e_expect_iisreset "IIS stopped and started once for each run that went ahead" stop start stop start stop start
# Three runs that finished, the last two with "/keep:2": the newest two backups are left.
bench_expect_eq "with /keep:2 the first run's backup is deleted, and logged" 1 \
    "$(log_lines | grep -cxF "Deleted the old backup $backup")"
bench_expect_eq "two backups are left, the newest" \
    "$(log_lines | sed -n 's/^Backup: //p' | tail -n 2 | sed 's/.*\\//' | sort)" \
    "$(cd "$(dirname "$db_file")" && ls -- *.tmpBackup | sort)"

# --- the engine crashes mid-compaction --------------------------------------------------
# The engine stand-in crashes half-way through its copy: the run survives it,
# logs it in its own words, starts the suite again and ends with the
# compaction's exit code; the database stays as it was.
db_sum=$(sha256sum <"$db_file")
lines_before=$(log_lines | wc -l)
bench_expect_eq "a crashed engine ends it with the compaction's exit code 3" 3 "$(BENCH_JET_CRASH=1 run_unattended)"
crashed=$(log_lines | tail -n +$((lines_before + 1)))
bench_expect "the crash is in the log in the run's words, with the exception's code" grep -qF \
    "Message: Error -1073741819 (0xC0000005)\\r\\n\\r\\nThe JET engine ended unexpectedly while compacting $BENCH_DB (exception 0xC0000005).\\r\\n\\r\\nThis run stopped these" \
    <<<"$crashed"
bench_expect "the unfinished copy the engine left is named" grep -Eq '^Left unfinished by the engine: .*\.tmp$' \
    <<<"$crashed"
bench_expect "what the run stopped is started again" grep -qx 'Starting again what this run stopped' <<<"$crashed"
e2e_expect_suite RUNNING "4 5" "after the engine crashed"
e2e_expect_iisreset "IIS was started again" stop start stop start stop start stop start
bench_expect "its last line is the outcome" grep -q '^Outcome: the database could not be compacted; exit code 3; ' \
    <<<"$(tail -n 1 <<<"$crashed")"
bench_expect_eq "the database is untouched" "$db_sum" "$(sha256sum <"$db_file")"

# --- a compaction that fails ----------------------------------------------------------
head -c 4096 /dev/urandom >"$db_file"
lines_before=$(log_lines | wc -l)
bench_expect_eq "a failed compaction ends it with exit code 3" 3 "$(run_unattended)"
failed=$(log_lines | tail -n +$((lines_before + 1)))
bench_expect "the message is in the log instead of a box" \
    grep -q '^Message: Could not compact and repair database\. .*Error was: ' <<<"$failed"
bench_expect "what the run stopped is started again first" grep -qx 'Starting again what this run stopped' <<<"$failed"
e2e_expect_suite RUNNING "5 6" "after the failed compaction"
e2e_expect_iisreset "IIS was started again" stop start stop start stop start stop start stop start
bench_expect "its last line is the outcome" grep -q '^Outcome: the database could not be compacted; exit code 3; ' \
    <<<"$(tail -n 1 <<<"$failed")"

# --- a check's box left open --------------------------------------------------------------
# A check with a person lets go of the machine before its box waits: a
# scheduled run that comes meanwhile goes ahead, and the box stays.
bench_database "$BENCH_DB"
BENCH_WINE_TIMEOUT=200 bench_wine "$BENCH_EXE" /check >>"$BENCH_TMP/program.log" 2>&1 &
check_job=$!
box=$(e2e_driver find-window-title "Compact And Repair" 30000) || box=""
bench_expect_eq "the check shows its result in a box" "#32770" "$(cut -f1 <<<"$box")"
bench_expect_eq "meanwhile a scheduled run finishes with exit code 0" 0 "$(run_unattended)"
bench_expect_eq "the check still waits on the same box" "$box" \
    "$(e2e_driver --pid "$(cut -f2 <<<"$box")" find-window-title "Compact And Repair" 1000)"
bench_expect "the box says a run could start" grep -q '^A run could start now' \
    <<<"$(e2e_driver --pid "$(cut -f2 <<<"$box")" answer-box 5000)"
check_status=0
wait "$check_job" || check_status=$?
bench_expect_eq "answered, the check ends with exit code 0" 0 "$check_status"

bench_finish
