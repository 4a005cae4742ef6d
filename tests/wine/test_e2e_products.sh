#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# Whole runs on servers where not every product is installed, one after the
# other on the same server: first none of the three (the services and
# programs still run and are stopped all the same; nothing is restarted, IIS
# is left alone; the button is pressed twice at once, which starts one run),
# then the Organizer alone with the database moved to the root of drive C: (IIS
# is stopped and started, the servers are not restarted, and the grants cover
# the database file but not the whole drive, IIS 10's accounts in place of IIS
# 6's; the watch of that run looks at the window only once a second and takes
# what it misses from the run log), last
# all three with Teamharbor installed as a program whose server does not run
# and the mail server's service stopped: the run starts each the way it is
# installed, Teamharbor's program once.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server --products none

# "name visible=V enabled=E" for each control named, from the dump on stdin.
states() {
    local dump name
    dump=$(cat)
    for name in "$@"; do
        printf '%s %s\n' "$name" "$(e2e_control "$name" <<<"$dump" | cut -d' ' -f1-2)"
    done
}

# Checks common to both runs, once the run has started: it finishes with the
# texts given, the database is swapped, the tick shows, the grants were made.
check_finished_run() {
    local label=$1
    shift
    e2e_expect_run_end "$label: the run ends with Open Data Folder shown"
    e2e_expect_swapped "$label"
    e2e_expect_timeline "$label: every status text in order, and no message box" \
        "$E2E_READY_TEXT" "$@" "${E2E_COMPLETE_PREFIX}$E2E_BACKUP"
    bench_expect_eq "$label: the tick is shown" "visible=1" "$(e2e_final_dump | e2e_control imgTick | cut -d' ' -f1)"
    bench_expect_eq "$label: the grants, in order (the file alone in a drive root)" \
        "$(bench_grant_lines "$BENCH_DB" "$(hostname)" "done, 3 entries, 0 skipped")" \
        "$(e2e_log_lines "$log_from" | grep '^Grant: ')"
}

# === none of the products installed ==========================================
e2e_snapshot_database
log_from=1
e2e_start_program
bench_expect_eq "ready: every picture shown, the strokes over Teamharbor and the mail server drawn" \
    $'imgTH visible=1 enabled=1\nimgTP visible=1 enabled=1\nimgQO visible=1 enabled=1\nthline visible=1 enabled=1\ntpline visible=1 enabled=1' \
    "$(e2e_driver dump | states imgTH imgTP imgQO thline tpline)"

e2e_begin_run none --double-click
if e2e_wait_for_status "Stopping Services 1" 15; then
    bench_expect_eq "running: the pictures and strokes are gone, only the progress bar shows in the button row" \
        "$(printf '%s\n' 'imgTH visible=0 enabled=1' 'imgTP visible=0 enabled=1' 'imgQO visible=0 enabled=1' \
            'thline visible=0 enabled=1' 'tpline visible=0 enabled=1' 'qoline visible=0 enabled=1' \
            'cmdCompact visible=0 enabled=0' 'cmdClose visible=0 enabled=0' \
            'cmdOpenDataFolder visible=0 enabled=1' 'prjProgress visible=1 enabled=1')" \
        "$(e2e_driver dump | states imgTH imgTP imgQO thline tpline qoline cmdCompact cmdClose cmdOpenDataFolder \
            prjProgress)"
else
    bench_expect "running: the run reached \"Stopping Services 1\"" false
fi
check_finished_run "none installed" "${E2E_STOPPING[@]}" "${E2E_COMPACTING[@]}" "${E2E_SWAPPING[@]}" \
    "${E2E_PERMISSIONS[@]}" "${E2E_RESTARTING[@]}"
bench_expect_eq "none installed: after the run no picture and no stroke is shown" \
    "$(printf '%s\n' 'imgTH visible=0 enabled=1' 'imgTP visible=0 enabled=1' 'imgQO visible=0 enabled=1' \
        'thline visible=0 enabled=1' 'tpline visible=0 enabled=1' 'qoline visible=0 enabled=1')" \
    "$(e2e_final_dump | states imgTH imgTP imgQO thline tpline qoline)"
e2e_expect_suite STOPPED "1 1" "none installed"
e2e_expect_iisreset "none installed: IIS is left alone"
bench_screenshot e2e_products/none_finished.png
e2e_driver click cmdClose >/dev/null
e2e_driver --pid "$E2E_PID" wait-gone 10000 >/dev/null || bench_die "Exit did not end the program"

# === the Organizer alone =======================================================
# The same server again, its suite running as before, now with the
# Organizer's key.
bench_install_product organizer
BENCH_DB='C:\suite.mdb'
bench_database "$BENCH_DB"
bench_set_dbq "$BENCH_DB"
bench_start_service Teamharbor
bench_start_service "Quorvin Mail Server"
bench_start_program THService.exe --hold "$BENCH_DB" >/dev/null
bench_start_program QMSSrv.exe --hold "$BENCH_DB" >/dev/null
for program in THAdmin.exe TPAdmin.exe QOAdmin.exe; do bench_start_program "$program" >/dev/null; done
[[ $(bench_probe try-open "$BENCH_DB" read | tr -d '\r') == "error 32" ]] || bench_die "the database is not held"

e2e_snapshot_database
log_from=1
# IIS 10 (in the 64-bit view, where a 64-bit IIS writes it): its group
# IIS_IUSRS and its user IUSR stand for IIS_WPG and IUSR_<host>, asked for by
# SID; ASPNET and IWAM_<host> have no counterpart. Wine names neither SID, so
# the lines say "no account" as for IIS 6; Wine's trace shows what was asked.
bench_reg add 'HKLM\SOFTWARE\Microsoft\InetStp' /v MajorVersion /t REG_DWORD /d 10 /f /reg:64 >/dev/null
trace_from=$(($(wc -l <"$BENCH_TMP/program.log") + 1))
WINEDEBUG=+advapi e2e_start_program
# The watch looks at the window only once a second, so that it misses texts
# of half a second as a watch on a busy machine misses shorter ones: the run
# log beside the database gives them, in their place.
e2e_begin_run organizer --interval 1000
# In the drive's root only the file grants are made, with their texts.
check_finished_run "Organizer only" "${E2E_STOPPING[@]}" "${E2E_STOPPING_IIS[@]}" \
    "${E2E_COMPACTING[@]}" "${E2E_SWAPPING[@]}" "${E2E_PERMISSIONS[@]:0:5}" "${E2E_RESTARTING[@]}"
bench_expect "Organizer only: the texts the watch missed in the window came from the run log" \
    grep -q '^+[0-9]* LOG: ' "$E2E_WATCH"
bench_expect_eq "Organizer only, IIS 10: the web accounts asked for by IIS 10's SIDs, none by IIS 6's names" \
    $'S-1-5-32-568\nS-1-5-17' "$(tail -n "+$trace_from" "$BENCH_TMP/program.log" | tr -d '\r' | sed -n \
        -e 's/.*:LookupAccountNameW (null) L\("[^"]*"\).*/\1/p' -e 's/.*:LookupAccountSidW ((null),sid=\(S-1-5-\(32-568\|17\)\),.*/\1/p')"
bench_expect_eq "Organizer only: only the Organizer's picture stays, no stroke" \
    "$(printf '%s\n' 'imgTH visible=0 enabled=1' 'imgTP visible=0 enabled=1' 'imgQO visible=1 enabled=1' \
        'thline visible=0 enabled=1' 'tpline visible=0 enabled=1' 'qoline visible=0 enabled=1')" \
    "$(e2e_final_dump | states imgTH imgTP imgQO thline tpline qoline)"
e2e_expect_suite STOPPED "2 2" "Organizer only"
e2e_expect_iisreset "Organizer only: IIS was stopped, then started" stop start
bench_screenshot e2e_products/organizer_finished.png
e2e_driver click cmdClose >/dev/null
e2e_driver --pid "$E2E_PID" wait-gone 10000 >/dev/null || bench_die "Exit did not end the program"

# === all three, two of them down before the run =================================
# The same server, with the servers' keys back; both were left down by the
# run before, and nothing holds the database.
bench_install_product teamharbor --as-exe
bench_install_product mailserver
e2e_snapshot_database
log_from=$(($(e2e_log_length) + 1))
e2e_start_program
e2e_begin_run down
check_finished_run "down before" "${E2E_STOPPING[@]}" "${E2E_STOPPING_IIS[@]}" \
    "${E2E_COMPACTING[@]}" "${E2E_SWAPPING[@]}" "${E2E_PERMISSIONS[@]:0:5}" "${E2E_RESTARTING[@]}"
e2e_expect_service "Quorvin Mail Server" RUNNING "2 3" "down before"
e2e_expect_service Teamharbor STOPPED "2 2" "down before, installed as a program"
bench_expect_eq "down before: one copy of Teamharbor's server runs, nothing else of the suite" THSERVICE.EXE \
    "$(e2e_running_suite_programs)"
e2e_expect_iisreset "down before: IIS was stopped, then started" stop start stop start

bench_finish
