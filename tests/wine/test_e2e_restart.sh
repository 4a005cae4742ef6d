#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# One whole run on a server where Teamharbor is installed as a program, the
# mail server's setup has lost its folder value and the Organizer is
# installed: Teamharbor comes back as a program started from its folder, the
# mail server's restart fails with its message and the run still finishes,
# saying that the mail server is not running again, without the tick.
# Meanwhile a program of Teamharbor's name starts from another folder (the
# real server is started all the same), the user tries the close box a few
# times, and Windows asks whether the session may end: the window refuses
# while the run works, and accepts
# once it has finished. The run enables the debug privilege to end processes
# and the restore privilege to give the compacted copy its owner, each only
# while it does so: no program it starts (iisreset, the engine's process,
# Teamharbor's server) gets either (a Wine child inherits what its parent had
# enabled when it was started).
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server --products teamharbor,organizer --as-exe teamharbor
bench_install_product mailserver --no-folder-value
teamharbor_program='C:\Program Files\Quorvin\Teamharbor\THSERVICE.EXE'
e2e_snapshot_database
privileges_from=$(($(bench_privileges | wc -l) + 1))

e2e_start_program
ready_status=$(e2e_driver dump | e2e_control lblStatus)
bench_expect_eq "a logoff is allowed while the window is Ready" allowed "$(e2e_driver query-end-session)"
e2e_begin_run restart
# Asked as Windows asks before a logoff or a shutdown: refused while the run works.
e2e_wait_for_status "Stopping Services 1" 20 || bench_die "the run did not start"
bench_expect_eq "a logoff is refused while the run works" refused "$(e2e_driver query-end-session)"

# The close box, at three moments of the run: each close is posted once the
# status named has shown, and before the run reaches its restarts.
closes=""
for moment in "Stopping Services 2" "Stopping Admin 2" "Setting Permissions...3"; do
    if e2e_wait_for_status "$moment" 20 && e2e_driver close >/dev/null && ! e2e_has_shown "${E2E_RESTARTING[0]}"; then
        closes+="posted after \"$moment\"; "
    else
        closes+="not posted after \"$moment\"; "
    fi
done
bench_expect_eq "the close box was used three times while the run worked" \
    'posted after "Stopping Services 2"; posted after "Stopping Admin 2"; posted after "Setting Permissions...3"; ' \
    "$closes"

# A program of the server's name from another folder, started once the run
# has ended the server: it is not the server, and keeps nothing from starting.
impostor='C:\impostor\THSERVICE.EXE'
mkdir -p "$(dirname "$(bench_unix_path "$impostor")")"
cp "$(bench_unix_path "$teamharbor_program")" "$(bench_unix_path "$impostor")"
bench_probe spawn "\"$impostor\"" >/dev/null

e2e_expect_run_end "the window stayed and the run finished"
bench_expect_eq "a logoff is allowed again once the run has finished" allowed "$(e2e_driver query-end-session)"
e2e_expect_swapped "the swap"
e2e_expect_timeline "every status text in order, the mail server's message after \"Starting Services...\"" \
    "$E2E_READY_TEXT" "${E2E_WHOLE_RUN[@]}" "BOX: Could not start Quorvin Mail Server, please start Quorvin Mail Server manually" \
    "${E2E_COMPLETE_PREFIX}$E2E_BACKUP\\r\\nQuorvin Mail Server is not running again: it could not be started. Please start Quorvin Mail Server manually."
e2e_expect_no_tick "$ready_status"

# --- the restarts ------------------------------------------------------------------
bench_expect "THSERVICE.EXE runs again" bench_wait_until 'bench_process_running THSERVICE.EXE' 10
# The path is the whole command line; Wine's CreateProcessW puts quotes around
# a program path with blanks that it was given without them.
started_from=$(bench_started | awk -F'\t' -v cmd="$teamharbor_program" \
    '$1 == "program" && ($4 == cmd || $4 == "\"" cmd "\"") { print $2 }')
bench_expect_eq "it was started from Teamharbor's Setup\\Folder, the path as the whole command line" 1 \
    "$(grep -c . <<<"$started_from" || true)"
bench_expect_eq "and it is the THSERVICE.EXE that runs" "THSERVICE.EXE" \
    "$(bench_process_list | awk -F'\t' -v pid="$started_from" '$1 == pid { print $3 }')"
e2e_expect_services STOPPED "1 1"
e2e_expect_iisreset "the run went on after the message: IIS was started" stop start
bench_expect_eq "the programs the run started had neither the debug nor the restore privilege" \
    $'THSERVICE.EXE -\niisreset.exe -\niisreset.exe -\njet_engine.dll -' "$(bench_privileges | tail -n "+$privileges_from" |
        awk -F'\t' '$3 !~ /impostor/ { print $1, ($2 ~ /SeDebugPrivilege|SeRestorePrivilege/ ? $2 : "-") }' | sort)"

# --- the close box once the run has finished -----------------------------------------
bench_expect "the close box is taken" e2e_driver close
e2e_expect_exit "and ends the program with exit code 0" 0

bench_finish
