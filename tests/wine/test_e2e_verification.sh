#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# The compacted copy is read through DAO before it takes the database's name,
# with the engine's stand-in made to lose data (BENCH_JET_RESULT). Unattended,
# a copy one row fewer, one table fewer or with the engine's MSysCompactError
# never takes the name: exit code 8, the original still the database byte for
# byte, the copy kept beside it, the suite running. A damaged original that
# only the engine can read is repaired: exit code 9, the sound copy is the
# database. Without DAO the run goes as it always did. With a person, the box
# names what the copy lacks: No keeps the original, Yes swaps.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server
e2e_snapshot_database
log_file="$E2E_DB_FILE.log"

run_unattended() {
    local status=0
    BENCH_WINE_TIMEOUT=150 bench_wine "$BENCH_EXE" /unattended >>"$BENCH_TMP/program.log" 2>&1 || status=$?
    echo "$status"
}
kept_copies() { find "$E2E_DB_FOLDER" -name '*.tmpIncomplete' | wc -l; }
users_rows() { mdb-json "$1" Users | wc -l; }
suite_runs() { bench_wait_until 'bench_service_is Teamharbor RUNNING && bench_service_is "Quorvin Mail Server" RUNNING' 15; }
last_verdict() { tr -d '\r' <"$log_file" | sed -n 's/^.* Verification: //p' | tail -n 1; }

echo "== unattended, a copy that lacks data"
for result in lose-row lose-table compact-error; do
    kept=$(kept_copies)
    bench_expect_eq "$result: the run ends with 8" 8 "$(BENCH_JET_RESULT=$result run_unattended)"
    bench_expect_eq "$result: the verification found data lost" "data lost" "$(last_verdict)"
    bench_expect_eq "$result: the database is the original, byte for byte" "$E2E_DB_SUM" "$(sha256sum <"$E2E_DB_FILE")"
    bench_expect_eq "$result: the copy is kept beside it" $((kept + 1)) "$(kept_copies)"
    bench_expect "$result: the suite runs again" suite_runs
done
bench_expect "the log names the table that lost a row, with its counts" \
    grep -qF '[Users]: 3 rows before, 2 after' "$log_file"

echo "== without DAO, the run as ever"
bench_reg delete 'HKCR\DAO.DBEngine.36' /f >/dev/null
bench_expect_eq "a lossy copy goes unnoticed: exit code 0" 0 "$(BENCH_JET_RESULT=lose-row run_unattended)"
bench_expect_eq "and the log says it was not verified" "not verified" "$(last_verdict)"
bench_expect_eq "the copy is the database" 2 "$(users_rows "$E2E_DB_FILE")"
cp "$(ls -t "$E2E_DB_FILE".*.tmpBackup | head -n 1)" "$E2E_DB_FILE"
bench_wine 'C:\windows\syswow64\regsvr32.exe' /s 'C:\bench\bin\dao_engine.dll'

echo "== unattended, a damaged original only the engine can read"
printf '\x07\x07' | dd of="$E2E_DB_FILE" bs=1 seek=8192 conv=notrunc status=none
bench_expect_eq "the run ends with 9" 9 "$(BENCH_JET_RESULT=repair run_unattended)"
bench_expect_eq "the verification says repaired" "repaired" "$(last_verdict)"
bench_expect_eq "the sound copy is the database" "$E2E_DB_SUM" "$(sha256sum <"$E2E_DB_FILE")"
bench_expect "the log lists the copy's tables" grep -qF 'After: [Users] 3 rows' "$log_file"

echo "== with a person at the window"
for answer in no yes; do
    kept=$(kept_copies)
    before=$(sha256sum <"$E2E_DB_FILE")
    BENCH_JET_RESULT=lose-row e2e_start_program
    E2E_WATCH="$BENCH_TMP/$answer.watch"
    BENCH_WINE_TIMEOUT=170 bench_wine "$BENCH_DRIVER" --pid "$E2E_PID" watch-status 150000 --click cmdCompact \
        --until-visible cmdOpenDataFolder >"$E2E_WATCH" 2>"$E2E_WATCH.err" &
    E2E_WATCH_JOB=$!
    question=$(e2e_driver answer-box 90000 "--$answer" | tr -d '\r')
    bench_expect "$answer: the box names the table with its counts" grep -qF '[Users]: 3 rows before, 2 after' <<<"$question"
    e2e_expect_run_end "$answer: the run ends in its Finished window"
    status=$(e2e_final_dump | e2e_control_text lblStatus)
    if [[ $answer == no ]]; then
        bench_expect "no: the window says the copy was not used" grep -qF 'The compacted copy lacked data, so it was not used.' <<<"$status"
        bench_expect_eq "no: the database is unchanged" "$before" "$(sha256sum <"$E2E_DB_FILE")"
        bench_expect_eq "no: the copy is kept beside it" $((kept + 1)) "$(kept_copies)"
    else
        bench_expect "yes: the window names the backup" grep -qF "$E2E_COMPLETE_PREFIX" <<<"$status"
        bench_expect_eq "yes: the copy is the database" 2 "$(users_rows "$E2E_DB_FILE")"
    fi
    bench_expect "$answer: the suite runs again" suite_runs
    e2e_driver click cmdClose >/dev/null
    e2e_expect_exit "$answer: Exit ends the program" 0
done

bench_finish
