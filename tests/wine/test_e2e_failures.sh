#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# Runs that cannot succeed. First the database file is missing: the press is
# refused with one message before anything is stopped, and the window stays
# ready. With the file back, the same window runs again, but a program that is
# none of the suite's ("Other.exe") keeps the database open, so the run stops
# and ends every suite program, waits a minute for the file in vain, and then
# the compaction fails. The database stays as it was, so the suite is started
# again before the program reports the engine's failure, with what is still
# stopped, and ends with its exit code.
# Then, with the holder gone, the engine crashes in the middle of the
# compaction: the suite is started again, and the program says so in its own
# words and ends with the compaction's exit code. Last, a run on the server
# whose mail server service has been removed finishes, but says that the mail
# server is not back and shows no tick.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server
other_pid=$(bench_start_program Other.exe --hold "$BENCH_DB")
e2e_snapshot_database

# --- the database is missing: nothing is stopped --------------------------------------
mv "$E2E_DB_FILE" "$E2E_DB_FILE.away"
e2e_start_program
e2e_driver click cmdCompact >/dev/null
box=$(e2e_driver --pid "$E2E_PID" answer-box 15000) || box=""
bench_expect "the refusal names the file and says that nothing was stopped" \
    grep -qF -e "$BENCH_DB" <<<"$box"
bench_expect_eq "the refusal ends with its promise" "Nothing was stopped." "${box##*\\r\\n}"
dump=$(e2e_driver dump)
bench_expect_eq "the window is still ready for another press" \
    "visible=1 enabled=1|visible=1 enabled=1|$E2E_READY_TEXT" \
    "$(e2e_control cmdCompact <<<"$dump" | cut -d' ' -f1-2)|$(e2e_control cmdClose <<<"$dump" | cut -d' ' -f1-2)|$(
        e2e_control_text lblStatus <<<"$dump")"
e2e_expect_services RUNNING "0 1" "after the refusal"
bench_expect_eq "every suite program still runs" "$(printf '%s\n' "${E2E_SUITE_PROGRAMS[@]}")" \
    "$(e2e_running_suite_programs)"
e2e_expect_iisreset "IIS was left alone"
mv "$E2E_DB_FILE.away" "$E2E_DB_FILE"

# --- the database is held by another program: the compaction fails ------------------
e2e_begin_run held
e2e_expect_run_end "the window goes before the run could finish" "1 window gone before cmdOpenDataFolder was visible"
# The engine's wording for a file that another process holds open, with
# E_FAIL's number as a signed decimal.
mapfile -t waiting < <(e2e_waiting_texts 0 59)
# The wait for IIS's start after the restart shows as long as the recorder takes.
timeline_without_iis_wait() { e2e_timeline | grep -v '^Waiting for IIS to start\.\.\. '; }
bench_expect_eq "every status text up to the compaction, a minute's wait, the restart, then the failure's message" \
    "$(printf '%s\n' "$E2E_READY_TEXT" "${E2E_STOPPING[@]}" "${E2E_STOPPING_IIS[@]}" "${E2E_COMPACTING[@]}" \
        "${waiting[@]}" \
        "BOX: Could not compact and repair database. Please try and compact and repair the database using the Manual Method described in the FAQ\\r\\nError was: -2147467259, Could not use '$BENCH_DB'; file already in use.\\r\\n\\r\\nThe suite has been started again.\\r\\n\\r\\nThis run stopped these, and they are still stopped:\\r\\n- the programs THAdmin.exe, TPAdmin.exe, QOAdmin.exe\\r\\nStart them again, or keep them stopped to repair the database by hand.")" \
    "$(timeline_without_iis_wait)"
e2e_expect_exit "the program ends with the failed compaction's exit code" 3

# --- nothing changed, the suite started again ------------------------------------------
bench_expect_eq "the database is untouched" "$E2E_DB_SUM" "$(sha256sum <"$E2E_DB_FILE")"
bench_expect_eq "no backup and no compacted copy beside it" "$E2E_DB_FOLDER_FILES" "$(e2e_folder_files)"
e2e_expect_services RUNNING "1 2" "after the failed compaction"
e2e_expect_iisreset "IIS was stopped and started again" stop start
bench_expect_eq "no permission was granted" 0 "$(e2e_log_lines | grep -c '^Grant: ' || true)"
bench_expect_eq "the other program was left alone and still holds the database" "Other.exe error 32" \
    "$(bench_process_list | awk -F'\t' -v pid="$other_pid" '$1 == pid { print $3 }') $(bench_probe try-open \
        "$BENCH_DB" read | tr -d '\r')"

# --- the engine crashes mid-compaction: the run's own message --------------------------
# With the holder gone, the engine stand-in crashes half-way through its copy
# (a real access violation). The program survives it: the suite started again,
# one box in its own words with the exception's code, the compaction's exit
# code, the database untouched.
bench_probe kill Other.exe >/dev/null
BENCH_JET_CRASH=1 e2e_start_program
e2e_begin_run crash
e2e_expect_run_end "the engine crashes: the window goes" "1 window gone before cmdOpenDataFolder was visible"
bench_expect_eq "every status text up to the compaction, the restart, then the crash in the run's own words" \
    "$(printf '%s\n' "$E2E_READY_TEXT" "${E2E_STOPPING[@]}" "${E2E_STOPPING_IIS[@]}" "${E2E_COMPACTING[@]}" \
        "BOX: Error -1073741819 (0xC0000005)\\r\\n\\r\\nThe JET engine ended unexpectedly while compacting $BENCH_DB (exception 0xC0000005).\\r\\n\\r\\nThe suite has been started again.")" \
    "$(timeline_without_iis_wait)"
e2e_expect_exit "the program ends with the compaction's exit code" 3
bench_expect_eq "the database is untouched" "$E2E_DB_SUM" "$(sha256sum <"$E2E_DB_FILE")"
partial=$(comm -13 <(echo "$E2E_DB_FOLDER_FILES" | sort) <(e2e_folder_files | sort))
bench_expect "the engine left part of a copy under a temporary name, and nothing else" \
    grep -Eqx 'suite\.mdb\.(0|[1-9][0-9]{0,2})\.tmp' <<<"$partial"
bench_expect "the part is smaller than the database" \
    test "$(stat -c %s "$E2E_DB_FOLDER/$partial" 2>/dev/null || echo 0)" -gt 0 -a \
    "$(stat -c %s "$E2E_DB_FOLDER/$partial" 2>/dev/null || echo 0)" -lt "$(stat -c %s "$E2E_DB_FILE")"
e2e_expect_services RUNNING "2 3" "after the crash"
e2e_expect_iisreset "IIS was stopped and started again" stop start stop start
bench_expect_eq "still no permission was granted" 0 "$(e2e_log_lines | grep -c '^Grant: ' || true)"
rm -f -- "${E2E_DB_FOLDER:?}/$partial"

# --- a product whose service is gone: the run finishes and says so --------------------
# Its server program runs, so the run ends it and must start the product again.
bench_wine sc delete "Quorvin Mail Server" >>"$BENCH_WINE_LOG" 2>&1 || bench_die "sc delete failed"
# The crash's restart started it again; it may still be on its way.
bench_expect "Teamharbor runs again after the crash's restart" \
    bench_wait_until 'bench_service_is Teamharbor RUNNING' 15
bench_start_program QMSSrv.exe >/dev/null
e2e_start_program
ready_status=$(e2e_driver dump | e2e_control lblStatus)
e2e_begin_run missing
e2e_expect_run_end "no mail server service: the run finishes"
e2e_expect_swapped "no mail server service"
e2e_expect_timeline "every status text, the last naming the mail server as not back" \
    "$E2E_READY_TEXT" "${E2E_WHOLE_RUN[@]}" \
    "${E2E_COMPLETE_PREFIX}$E2E_BACKUP\\r\\nQuorvin Mail Server is not running again: no service named \"Quorvin Mail Server\" exists. Please start Quorvin Mail Server manually."
e2e_expect_no_tick "$ready_status"
e2e_expect_service Teamharbor RUNNING "3 4" "no mail server service"

bench_finish
