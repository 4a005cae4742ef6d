#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# The simulated suite server itself: what every other test under Wine takes
# for granted about it.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
echo "scenario prefix: $WINEPREFIX on display $DISPLAY"

# --- the template's settings reached the scenario -------------------------
x11=$(bench_reg query 'HKCU\Software\Wine\X11 Driver')
bench_expect "windows are not decorated by a window manager" grep -Eq 'Decorated +REG_SZ +N$' <<<"$x11"
bench_expect "windows are not managed by a window manager" grep -Eq 'Managed +REG_SZ +N$' <<<"$x11"
bench_expect "marlett.ttf is in the prefix's fonts" test -s "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
bench_expect "the display answers" bench_screenshot bench/display.png
if [[ -f $WINEPREFIX/drive_c/bench/bin/jet_engine.dll ]]; then
    clsid=$(bench_reg query 'HKCR\Jro.JetEngine\CLSID' /ve | sed -n 's/.*REG_SZ *//p')
    bench_expect "the JET engine stand-in is registered in the 32-bit view" \
        grep -qiF 'C:\bench\bin\jet_engine.dll' <<<"$(bench_reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /reg:32)"
fi

# --- a whole server --------------------------------------------------------
bench_make_server
db_file=$(bench_unix_path "$BENCH_DB")
bench_expect_eq "the database is the test data set" \
    "$(mdb-tables -1 "$(bench_fetch_dataset)")" "$(mdb-tables -1 "$db_file")"

bench_expect_eq "DBQ in the 32-bit view names the database" "    DBQ    REG_SZ    $BENCH_DB" \
    "$(bench_reg query 'HKLM\SOFTWARE\ODBC\ODBC.INI\QuorvinCollaborationSuite' /v DBQ /reg:32 |
        iconv -f CP850 -t UTF-8 | grep DBQ)"
if [[ $(cat "$BENCH_TEMPLATE/arch") == win64 ]]; then
    bench_expect_not "the 64-bit view has no data source" \
        bench_reg query 'HKLM\SOFTWARE\ODBC\ODBC.INI\QuorvinCollaborationSuite' /reg:64
fi
for key in Teamharbor Teampost QuorvinOrganizer; do
    bench_expect "the $key key has no default value" \
        grep -q '(value not set)' <<<"$(bench_reg query "HKLM\\SOFTWARE\\Quorvin\\$key" /ve /reg:32)"
done
bench_expect_eq "Teamharbor's setup values" \
    $'    Folder    REG_SZ    C:\\Program Files\\Quorvin\\Teamharbor\n    installAsExe    REG_DWORD    0x0' \
    "$(bench_reg query 'HKLM\SOFTWARE\Quorvin\Teamharbor\Setup' /reg:32 | grep REG_)"

bench_expect_eq "Teamharbor is RUNNING" RUNNING "$(bench_service_state Teamharbor)"
bench_expect_eq "Quorvin Mail Server is RUNNING" RUNNING "$(bench_service_state "Quorvin Mail Server")"
bench_expect_eq "an unknown service is MISSING" MISSING "$(bench_service_state "No Such Service")"

processes=$(bench_process_list)
for program in THService.exe QMSSrv.exe THAdmin.exe TPAdmin.exe QOAdmin.exe; do
    bench_expect_eq "one $program runs" 1 "$(awk -F'\t' -v p="$program" '$3 == p { n++ } END { print n + 0 }' \
        <<<"$processes")"
done
bench_expect_eq "three service processes run: the suite's two and IIS's web service" 3 \
    "$(bench_process_count fixture_service.exe)"

started=$(bench_started)
bench_expect_eq "each service runs as a service, the suite's holding the database" \
    "service:W3SVC -"$'\n'"service:Teamharbor held"$'\n'"service:Quorvin Mail Server held" \
    "$(awk -F'\t' '$1 ~ /^service:/ { print $1, $3 }' <<<"$started")"
bench_expect_eq "every program runs as a program; the servers hold the database" \
    $'program held\nprogram held\nprogram -\nprogram -\nprogram -' \
    "$(awk -F'\t' '$1 !~ /^service:/ { print $1, $3 }' <<<"$started")"
bench_expect_eq "the service was given the database path whole" \
    "C:\\bench\\bin\\fixture_service.exe --name \"Teamharbor\" --hold \"$BENCH_DB\"" \
    "$(awk -F'\t' '$1 == "service:Teamharbor" { print $4 }' <<<"$started")"

# --- nobody else gets the database while the server holds it ---------------
bench_expect_eq "a compaction cannot open the held database" "error 32" "$(bench_probe try-open "$BENCH_DB" read)"
bench_expect_eq "nobody can open it for writing" "error 32" "$(bench_probe try-open "$BENCH_DB" write)"
bench_expect_eq "nobody can rename it" "error 32" \
    "$(bench_probe try-move "$BENCH_DB" "${BENCH_DB%\\*}\\moved.mdb")"

# Stopping one holder after another; the file is free only when all are gone.
bench_wine sc stop Teamharbor >/dev/null
bench_expect "sc stop brings Teamharbor to STOPPED" bench_wait_until "bench_service_is Teamharbor STOPPED" 10
bench_expect "the service stopped cleanly" grep -qx $'stopped:Teamharbor\t[0-9]*' <<<"$(bench_started)"
bench_expect_eq "the other service still runs" RUNNING "$(bench_service_state "Quorvin Mail Server")"
bench_expect_eq "the database stays held by the rest" "error 32" "$(bench_probe try-open "$BENCH_DB" read)"
bench_wine sc stop "Quorvin Mail Server" >/dev/null
bench_wait_until "bench_service_is 'Quorvin Mail Server' STOPPED" 10
bench_expect_eq "ending the server programs terminates each" $'1\n1' \
    "$(bench_probe kill THService.exe && bench_probe kill QMSSrv.exe)"
bench_expect "the server programs are gone" \
    bench_wait_until '! bench_process_running THService.exe && ! bench_process_running QMSSrv.exe' 10
bench_expect_eq "then the database is free" "opened" "$(bench_probe try-open "$BENCH_DB" write)"
bench_expect_eq "and can be renamed" "moved" "$(bench_probe try-move "$BENCH_DB" "${BENCH_DB%\\*}\\moved.mdb")"
bench_expect "the administration programs run on" bench_process_running THAdmin.exe

# A service restarted by the control manager holds the database again.
bench_start_service Teamharbor
bench_expect_eq "a restarted service holds the database again" "error 32" \
    "$(bench_probe try-open "$BENCH_DB" read)"

# The product folder's program, started the way a product restart starts it.
bench_start_program 'C:\Program Files\Quorvin\Teamharbor\THSERVICE.EXE' >/dev/null
bench_expect "the product folder's server program runs under its own name" bench_process_running THSERVICE.EXE

# --- the recorder --------------------------------------------------------------
# As the program launches IIS's reset: a command line found by the system's
# search, through CreateProcessW. A dozen at once must all land whole.
bench_probe spawn "iisreset /stop" >/dev/null
bench_expect "iisreset is recorded" bench_wait_until '[[ $(bench_recorded iisreset) == "iisreset /stop" ]]' 10
expected=()
for i in $(seq 1 12); do expected+=("iisreset /status \"C:\\Suite Data\\Données\\$i\""); done
before=$(bench_recorded_count iisreset)
bench_probe spawn "${expected[@]}" >/dev/null
bench_expect "twelve overlapping starts are all recorded" \
    bench_wait_until "((\$(bench_recorded_count iisreset) >= before + 12))" 20
bench_expect_eq "each one whole, non-ASCII letters included" \
    "$(printf '%s\n' "${expected[@]}" | sort)" "$(bench_recorded iisreset | tail -n +$((before + 1)) | sort)"
# Each start also says which privileges its token has enabled: a program
# started by one that had enabled a privilege has it enabled too.
bench_probe spawn --privilege SeDebugPrivilege "iisreset /noforce" >/dev/null
bench_wait_until '[[ $(bench_privileges | tail -n 1) == *"/noforce" ]]' 10
bench_expect_eq "the recorder sees no debug privilege of its own, and the one its parent had enabled" \
    "- SeDebugPrivilege" "$(bench_privileges | awk -F'\t' '$1 == "iisreset.exe" && $3 ~ /\/(stop|noforce)$/ {
        print ($2 ~ /SeDebugPrivilege/ ? "SeDebugPrivilege" : "-") }' | paste -sd' ')"

bench_finish
