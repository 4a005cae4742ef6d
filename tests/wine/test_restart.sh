#!/usr/bin/env bash
# Ending processes by name and restarting the suite's servers under Wine,
# through form_probe KillProcess, StartTeamharbor and StartMailServer, looked
# at from outside: the process list, the fixtures' start log and the service
# control manager. A server that cannot be started shows the product's own
# message, starts nothing, and the procedure still returns.
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
# shellcheck source=probe_lib.sh
source "$(dirname "$0")/probe_lib.sh"

# The fixtures' start log since the mark: mode TAB pid TAB hold TAB command line.
started_mark() { started_from=$(($(bench_started | wc -l) + 1)); }
started_since_mark() { bench_started | tail -n "+$started_from"; }

# Process ids running the image NAME (any case), one a line, sorted.
pids_of() { bench_process_list | awk -F'\t' -v name="$1" 'tolower($3) == tolower(name) { print $1 }' | sort; }

# The fixture programs that are up, as "pid image" lines.
fixture_programs() {
    bench_process_list | awk -F'\t' 'tolower($3) ~ /^(thservice|qmssrv|thadmin|tpadmin|qoadmin|fixture_service)\.exe$/ {
        print $1, $3 }' | sort
}

# A product's setup as a scenario wants it, with nothing left of the last one.
reinstall_product() {
    local key
    case $1 in
        teamharbor) key=Teamharbor ;;
        mailserver) key=Teampost ;;
    esac
    bench_reg delete "HKLM\\SOFTWARE\\Quorvin\\$key" /f /reg:32 >>"$BENCH_WINE_LOG" 2>&1
    bench_install_product "$@"
}

# Ends the server program a restart launched, so the next case starts clean.
end_program() {
    bench_probe kill "$1" >/dev/null
    bench_wait_until "! bench_process_running $1" 10 || bench_die "$1 did not end"
}

# Stops a service a case started, and waits until its process is gone too.
stop_service() {
    bench_wine sc stop "$1" >>"$BENCH_WINE_LOG" 2>&1
    bench_wait_until "bench_service_is $(printf '%q' "$1") STOPPED" 20 || bench_die "$1 did not stop"
    bench_wait_until "! bench_process_running fixture_service.exe" 10 || bench_die "the process of $1 did not end"
}

th_message="Could not start Teamharbor, please start Teamharbor manually"
qms_message="Could not start Quorvin Mail Server, please start Quorvin Mail Server manually"

# --- KillProcess -----------------------------------------------------------------
admin1=$(bench_start_program THAdmin.exe)
admin2=$(bench_start_program THAdmin.exe)
bystander=$(bench_start_program TPAdmin.exe)
bench_start_program QOAdmin.exe >/dev/null
bench_expect_eq "two copies of THAdmin.exe run before" "$(printf '%s\n' "$admin1" "$admin2" | sort)" \
    "$(pids_of THAdmin.exe)"
run_probe KillProcess THAdmin.exe
probe_expect_done "ending THAdmin.exe returns without a message"
bench_expect "both copies of THAdmin.exe are gone" \
    bench_wait_until '[[ -z $(pids_of THAdmin.exe) ]]' 10
bench_expect_eq "the other programs run on" "$bystander" "$(pids_of TPAdmin.exe)"

before=$(fixture_programs)
run_probe KillProcess NoSuchProgram.exe
probe_expect_done "a name no process has: nothing reported"
bench_expect_eq "a name no process has: every other program runs on" "$before" "$(fixture_programs)"

# --- Teamharbor installed as a program ---------------------------------------------
bench_install_service Teamharbor - --no-start
bench_install_service "Quorvin Mail Server" - --no-start
th_exe='C:\Program Files\Quorvin\Teamharbor\THSERVICE.EXE'
reinstall_product teamharbor --as-exe
started_mark
run_probe StartTeamharbor
probe_expect_done "as a program: the procedure returns without a message"
bench_expect "as a program: THSERVICE.EXE of the setup folder starts" \
    bench_wait_until '[[ -n $(started_since_mark) ]]' 15
launched=$(started_since_mark)
# The program passes the path alone, in quotes: its folder holds blanks.
bench_expect_eq "it is started by its full path alone, quoted, as a program" $'program\t-\t'"\"$th_exe\"" \
    "$(cut -f1,3,4 <<<"$launched")"
bench_expect_eq "it runs under its own name" "$(cut -f2 <<<"$launched")" "$(pids_of THSERVICE.EXE)"
bench_expect_eq "as a program: the service is not started" STOPPED "$(bench_service_state Teamharbor)"
end_program THSERVICE.EXE

# The install mode as the text "1", in a folder without blanks, where the
# child sees the command line exactly as the program passed it.
th_folder='C:\Quorvin-Server-Ä\Teamharbor'
reinstall_product teamharbor --install-mode-text 1 --folder "$th_folder"
started_mark
run_probe StartTeamharbor
probe_expect_done "install mode \"1\" as text: no message"
bench_expect "install mode \"1\" as text launches the program" bench_wait_until '[[ -n $(started_since_mark) ]]' 15
bench_expect_eq "the program of the setup folder, by its full path, quoted" $'program\t'"\"$th_folder\\THSERVICE.EXE\"" \
    "$(cut -f1,4 <<<"$(started_since_mark)")"
bench_expect_eq "install mode \"1\" as text: the service is not started" STOPPED "$(bench_service_state Teamharbor)"
end_program THSERVICE.EXE

# --- Teamharbor installed as a service ---------------------------------------------
reinstall_product teamharbor --as-service
started_mark
run_probe StartTeamharbor
probe_expect_done "as a service: the procedure returns without a message"
bench_expect "as a service: Teamharbor is RUNNING" bench_wait_until 'bench_service_is Teamharbor RUNNING' 20
bench_expect_eq "as a service: the service's program started and nothing else" "service:Teamharbor" \
    "$(started_since_mark | cut -f1 | sort -u)"
bench_expect_eq "as a service: no THSERVICE.EXE runs" "" "$(pids_of THSERVICE.EXE)"
stop_service Teamharbor

# --- Teamharbor that cannot be started ----------------------------------------------
# WHAT MESSAGE SERVICE: the product's message, the procedure returns, nothing
# started, its service stays stopped.
expect_not_started() {
    local what=$1
    bench_expect_eq "$what: the product's message, once" "$2" "${probe_boxes[*]:-}"
    bench_expect_eq "$what: the procedure returns after it" "done" "$probe_out"
    bench_expect_eq "$what: nothing started" "" "$(started_since_mark)"
    bench_expect_eq "$what: the service stays stopped" STOPPED "$(bench_service_state "$3")"
    bench_expect_eq "$what: no new program runs" "$programs_before" "$(fixture_programs)"
}

reinstall_product teamharbor --as-service --no-folder-value
started_mark
programs_before=$(fixture_programs)
run_probe StartTeamharbor
expect_not_started "no Folder value" "$th_message" Teamharbor

empty_folder='C:\Program Files\Quorvin\Leer'
mkdir -p "$(bench_unix_path "$empty_folder")"
reinstall_product teamharbor --as-exe --folder "$empty_folder" --no-program-file
started_mark
programs_before=$(fixture_programs)
run_probe StartTeamharbor
expect_not_started "a folder without THSERVICE.EXE" "$th_message" Teamharbor

# --- the mail server ----------------------------------------------------------------
qms_folder='C:\Quorvin\Teampost'
reinstall_product mailserver --as-exe --folder "$qms_folder"
started_mark
run_probe StartMailServer
probe_expect_done "mail server as a program: no message"
bench_expect "mail server as a program: its program starts" bench_wait_until '[[ -n $(started_since_mark) ]]' 15
bench_expect_eq "the mail server's program path ends in \\QMSSrv.EXE" \
    $'program\t'"\"$qms_folder\\QMSSrv.EXE\"" "$(cut -f1,4 <<<"$(started_since_mark)")"
bench_expect_eq "mail server as a program: its service is not started" STOPPED \
    "$(bench_service_state "Quorvin Mail Server")"
end_program QMSSrv.EXE

reinstall_product mailserver --as-service
run_probe StartMailServer
probe_expect_done "mail server as a service: no message"
bench_expect "mail server as a service: Quorvin Mail Server is RUNNING" \
    bench_wait_until 'bench_service_is "Quorvin Mail Server" RUNNING' 20
stop_service "Quorvin Mail Server"

reinstall_product mailserver --as-service --no-install-mode
started_mark
programs_before=$(fixture_programs)
run_probe StartMailServer
expect_not_started "mail server without an install mode" "$qms_message" "Quorvin Mail Server"

bench_finish
