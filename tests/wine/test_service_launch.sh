#!/usr/bin/env bash
# Service control and program launch under Wine, one procedure at a time
# through form_probe: StopService and StartService against Wine's service
# control manager through WMI (names with blanks, names nobody has, services
# already stopped), and runexe, which starts a program and returns without
# waiting for it, or reports a program that is not there in the message box
# of the error boundary and ends.
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_require_built "$BENCH_DRIVER" "$BENCH_FORM_PROBE"

bench_start
bench_install_service Teamharbor
bench_install_service "Quorvin Mail Server"
MAIL="Quorvin Mail Server"

driver() { bench_wine "$BENCH_DRIVER" "$@" 2>>"$BENCH_WINE_LOG" </dev/null | tr -d '\r'; }

# Runs one procedure in the background (through a file, not a pipe: what it
# starts would hold a pipe open) while the driver watches for a message box
# for BOX_WATCH ms. Sets PROBE_OUT (its lines joined by "|"), PROBE_STATUS
# and BOX (the box's message, answered, or empty).
probe_watched() {
    local job
    bench_wine "$BENCH_FORM_PROBE" "$@" >"$BENCH_TMP/probe.out" 2>>"$BENCH_WINE_LOG" </dev/null &
    job=$!
    BOX=""
    if ! BOX=$(driver no-box "${BOX_WATCH:-1000}"); then
        driver answer-box 5000 >/dev/null || true
    fi
    PROBE_STATUS=0
    wait "$job" || PROBE_STATUS=$?
    PROBE_OUT=$(tr -d '\r' <"$BENCH_TMP/probe.out" | paste -sd'|')
}

# WHAT: the procedure returned quietly: no box, exit status 0, "done".
expect_quiet() {
    bench_expect_eq "$1: no message box" "" "$BOX"
    bench_expect_eq "$1: returns and the probe ends normally" "0 done" "$PROBE_STATUS $PROBE_OUT"
}

states() { echo "$(bench_service_state Teamharbor) $(bench_service_state "$MAIL")"; }

# --- stop and start by name ---------------------------------------------------
bench_expect_eq "(both services run)" "RUNNING RUNNING" "$(states)"

probe_watched StopService Teamharbor
expect_quiet "StopService Teamharbor"
bench_expect "Teamharbor reaches STOPPED" bench_wait_until 'bench_service_is Teamharbor STOPPED' 15
bench_expect_eq "... and the mail server runs on" RUNNING "$(bench_service_state "$MAIL")"

probe_watched StopService Teamharbor
expect_quiet "StopService of a service already stopped"
bench_expect_eq "... which stays stopped" STOPPED "$(bench_service_state Teamharbor)"

probe_watched StopService "$MAIL"
expect_quiet "StopService of a name with blanks"
bench_expect "Quorvin Mail Server reaches STOPPED" bench_wait_until 'bench_service_is "$MAIL" STOPPED' 15

probe_watched StartService Teamharbor
expect_quiet "StartService Teamharbor"
bench_expect "Teamharbor reaches RUNNING" bench_wait_until 'bench_service_is Teamharbor RUNNING' 15
bench_expect_eq "... and the mail server stays stopped" STOPPED "$(bench_service_state "$MAIL")"

# Names nobody has, one of them the start of a real one: with one service
# running and one stopped, neither request may touch either.
probe_watched StopService "No Such Service"
expect_quiet "StopService of a name nobody has"
probe_watched StopService Quorvin
expect_quiet "StopService of the first word of a service's name"
probe_watched StartService Quorvin
expect_quiet "StartService of the first word of a service's name"
changes() { bench_wait_until '[[ $(states) != "RUNNING STOPPED" ]]' 2 2>/dev/null; }
bench_expect_not "... and neither service changes" changes
bench_expect_eq "(Teamharbor running, the mail server stopped)" "RUNNING STOPPED" "$(states)"

probe_watched StartService "$MAIL"
expect_quiet "StartService of a name with blanks"
bench_expect "Quorvin Mail Server reaches RUNNING" bench_wait_until 'bench_service_is "$MAIL" RUNNING' 15

# --- runexe -------------------------------------------------------------------
# A program that runs until it is ended, in a folder with a blank.
sleeper='C:\bench\run here\Sleeper.exe'
bench_place_fixture "$sleeper"
probe_watched runexe "\"$sleeper\" --name sleeper" 2
bench_expect_eq "runexe of a program that runs on: no message box" "" "$BOX"
pid=${PROBE_OUT%%|*}
bench_expect "... returns the new process's id, and the probe ends normally" \
    grep -Eq '^0 [1-9][0-9]*\|done$' <<<"$PROBE_STATUS $PROBE_OUT"
bench_expect_eq "... which is the program, still running after runexe returned" "1 Sleeper.exe" \
    "$(bench_process_count Sleeper.exe) $(bench_process_list | awk -F'\t' -v pid="$pid" '$1 == pid { print $3 }')"
bench_expect_eq "... started with the command line whole" "\"$sleeper\" --name sleeper" \
    "$(bench_started | awk -F'\t' -v pid="$pid" '$1 == "program" && $2 == pid { print $4 }')"
bench_probe kill Sleeper.exe >/dev/null

# A program in a folder that does not exist: Windows names the missing path.
BOX_WATCH=10000 probe_watched runexe 'C:\nowhere\missing.exe' 1
bench_expect "runexe of a missing program: the box gives the number" \
    grep -Eq '^Error -2147024893 \(0x80070003\)\\r\\n\\r\\n' <<<"$BOX"
bench_expect "... and a description" grep -Eq '\\r\\n\\r\\n.*[[:alpha:]]' <<<"$BOX"
echo "  the box said: $BOX"
bench_expect_eq "... and the program ends without returning" "" "$PROBE_OUT"
bench_expect_eq "... nothing of it runs any more" 0 "$(bench_process_count form_probe.exe)"

bench_finish
