#!/usr/bin/env bash
# Libraries planted beside the program, which runs elevated from a folder
# that others may be able to write: a test library that leaves a mark when
# loaded is copied there under the names of libraries that the program, or a
# system library on its behalf, loads by name, and Wine is told to prefer such
# a file (as Windows does for any library that is not a known DLL). The
# program starts and is closed, ends on an unknown argument, and makes a
# whole unattended run that waits for the database: no mark.
# Not planted: uxtheme, msimg32, imm32, version: Wine's own libraries load
# them before the program's first line or through delayed imports, which
# ignore the program's search settings; no program can stop that under Wine.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

PLANTED_DLL="$BUILD_DIR/tests/bench/planted_dll/planted_dll.dll"
CHECK_EXE="$BUILD_DIR/tests/wine/platform_check/platform_check.exe"
bench_require_built "$PLANTED_DLL" "$CHECK_EXE"

# What the program loads at its first call, and what those load by name.
PLANTED=(iphlpapi dnsapi nsi shell32 shlwapi shcore oleaut32 rstrtmgr)

e2e_start_server
tools=$(bench_unix_path 'C:\Tools')
marks=$(bench_unix_path 'C:\Marks')
mkdir -p "$tools" "$marks"
cp "$BENCH_EXE" "$CHECK_EXE" "$tools/"
for name in "${PLANTED[@]}"; do cp "$PLANTED_DLL" "$tools/$name.dll"; done
export PLANTED_DLL_MARKS='C:\Marks'
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(
    IFS=,
    echo "${PLANTED[*]}"
)=n,b"
export WINEDLLOVERRIDES
E2E_EXE='C:\Tools\CompactAndRepair.exe'

# The planted libraries loaded since the last call, one a line, and a fresh start.
take_marks() {
    (cd "$marks" && ls)
    rm -f "$marks"/*
}

# --- the bench can see a planted library --------------------------------------
check() { bench_wine 'C:\Tools\platform_check.exe' "$@" 2>>"$BENCH_WINE_LOG" | tr -d '\r'; }
bench_expect_eq "searched for by name as usual, the planted library is loaded" 'C:\Tools\rstrtmgr.dll' \
    "$(check load-library rstrtmgr.dll)"
bench_expect_eq "... and leaves its mark" rstrtmgr.dll "$(take_marks)"
bench_expect "after restrictLibrarySearch the same search finds the system's" \
    grep -qix 'C:\\windows\\system32\\rstrtmgr\.dll' <<<"$(check load-library restricted rstrtmgr.dll)"
bench_expect_eq "... and nothing planted is loaded" "" "$(take_marks)"

# --- the program ---------------------------------------------------------------
# Started as a person starts it; a program that took a planted library may
# never show its window, and still its marks are counted.
BENCH_WINE_TIMEOUT=30 bench_wine "$E2E_EXE" >>"$BENCH_TMP/program.log" 2>&1 &
E2E_PROGRAM_JOB=$!
if e2e_driver wait-window 20000 >/dev/null; then
    E2E_PID=$(e2e_driver pid)
    e2e_driver close >/dev/null
    e2e_expect_exit "started and closed, the program ends with exit code 0" 0
else
    bench_expect_eq "started, the program shows its window" "window" "exit code $(e2e_exit_code)"
fi
bench_expect_eq "... without loading a planted library" "" "$(take_marks)"

status=0
BENCH_WINE_TIMEOUT=30 bench_wine "$E2E_EXE" /unattended /bogus >>"$BENCH_TMP/program.log" 2>&1 || status=$?
bench_expect_eq "with an unknown argument it ends with exit code 6" 6 "$status"
bench_expect_eq "... without loading a planted library" "" "$(take_marks)"

# A program outside the suite holds the database until the run's wait for it
# has begun, so that the run asks the Restart Manager who holds it.
bench_start_program Other.exe --hold "$BENCH_DB" >/dev/null
log_file="$(bench_unix_path "$BENCH_DB").log"
status=0
BENCH_WINE_TIMEOUT=150 bench_wine "$E2E_EXE" /unattended >>"$BENCH_TMP/program.log" 2>&1 &
run=$!
bench_expect "the run waits for the database" \
    bench_wait_until "grep -qs 'Status: Waiting for the database to be closed' $(printf '%q' "$log_file")" 60
bench_probe kill Other.exe >/dev/null
wait "$run" || status=$?
bench_expect_eq "a whole unattended run ends with exit code 0" 0 "$status"
bench_expect_eq "... without loading a planted library" "" "$(take_marks)"

bench_finish
