#!/usr/bin/env bash
# The permission grants under Wine, through form_probe SetPermissions: the
# exact CACLS command lines the program starts (recorded by the bench's
# cacls.exe), in their order, with this machine's host name in the web
# server's accounts; a database in a drive's root (no folder grants), a path without a folder,
# and a path that would break the command line's quoting.
#
# The recorder logs each start; asked to linger like a slow CACLS, it also
# logs each end, which shows whether two grants ever ran side by side.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
# shellcheck source=probe_lib.sh
source "$(dirname "$0")/probe_lib.sh"

# The command lines recorded since the mark.
cacls_mark() { cacls_from=$(($(bench_recorded_count cacls) + 1)); }
cacls_since_mark() { bench_recorded cacls | tail -n "+$cacls_from"; }

# The twelve grants as the program must start them: first the file, then the
# folder and everything below it, each for the six accounts in their order.
expected_grants() {
    local file=$1 folder=$2 host=$3 account
    local accounts=(administrators ASPNET IIS_WPG "IWAM_$host" "IUSR_$host" users)
    for account in "${accounts[@]}"; do
        printf 'CACLS "%s" /E /G "%s":F\n' "$file" "$account"
    done
    [[ -n $folder ]] || return 0
    for account in "${accounts[@]}"; do
        printf 'CACLS "%s" /E /T /C /G "%s":F\n' "$folder" "$account"
    done
}

host=$(hostname)
[[ -n $host ]] || bench_die "this machine has no host name to compare with"

# --- a database in a folder whose names hold blanks and non-ASCII letters ----
db='C:\Suite Data\Données\suite.mdb'
bench_database "$db"
cacls_mark
run_probe SetPermissions "$db"
probe_expect_done "the grants run to their end without a message"
bench_expect_eq "twelve grants, byte for byte and in order, with the host name $host" \
    "$(expected_grants "$db" 'C:\Suite Data\Données' "$host")" "$(cacls_since_mark)"
bench_expect_eq "every grant was the 32-bit system's CACLS, found by the system's search" \
    "$(for _ in $(seq 12); do echo cacls.exe; done)" \
    "$(bench_recorded cacls --full | tail -n "+$cacls_from" | cut -f1 | sed 's/.*\\//' | tr '[:upper:]' '[:lower:]')"

# --- grants that take their time never overlap -------------------------------
# Each CACLS lingers longer than the progress step between two grants, as one
# walking a large folder tree would: the next one must still wait for it.
timeline="$BENCH_LOG_DIR/cacls.timeline"
rm -f "$timeline"
BENCH_RECORDER_LINGER_MS=700 run_probe SetPermissions "$db"
unset BENCH_RECORDER_LINGER_MS
probe_expect_done "slow grants: the procedure returns after all of them"
bench_expect_eq "slow grants: twelve, each started only after the one before it had ended"     "$(for _ in $(seq 12); do printf 'start\nend\n'; done)" "$(cut -d' ' -f1 "$timeline" | tr -d '\r')"
bench_expect_eq "slow grants: each end belongs to the grant started just before it" ""     "$(paste -d' ' - - <"$timeline" | tr -d '\r' | awk '$2 != $4')"

# --- a database directly in a drive's root ----------------------------------
cacls_mark
run_probe SetPermissions 'C:\db.mdb'
probe_expect_done "a database in the root: the procedure returns"
bench_expect_eq "a database in the root: the six file grants, no grant on the drive" \
    "$(expected_grants 'C:\db.mdb' '' "$host")" "$(cacls_since_mark)"

# --- a path without any folder ----------------------------------------------
cacls_mark
run_probe SetPermissions 'db.mdb'
probe_expect_done "a path without a folder: the procedure returns normally"
bench_expect_eq "a path without a folder: only the six file grants" \
    "$(expected_grants 'db.mdb' '' "$host")" "$(cacls_since_mark)"

# --- a double quote in the path ----------------------------------------------
quoted='C:\Suite Data\a" /G "everyone":F "\suite.mdb'
cacls_mark
probe_expect_status=1 run_probe SetPermissions "$quoted"
probe_expect_one_box "a quote in the path" "$PROBE_ANY_ERROR"
bench_expect "the box names the refused path" grep -qF "$quoted" <<<"$probe_box"
bench_expect_eq "no CACLS was started at all" "" "$(cacls_since_mark)"

bench_finish
