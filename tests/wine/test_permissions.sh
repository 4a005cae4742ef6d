#!/usr/bin/env bash
# The permission grants under Wine, through form_probe SetPermissions, which
# holds what it changes itself outside a run (the lines each grant writes to
# a run's log are checked by the end-to-end runs). Wine keeps no access list:
# it turns a grant to the users group into the group's mode bits, which is
# what shows here: the database, its folder and a file deep in its tree
# granted, in a folder whose names hold blanks and non-ASCII letters; for a
# database in a drive's root, the file alone, never the drive.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
# shellcheck source=probe_lib.sh
source "$(dirname "$0")/probe_lib.sh"

group_writes() { stat -c %A "$1" | cut -c6; }

# --- a database in a folder whose names hold blanks and non-ASCII letters ----
db='C:\Suite Data\Données\suite.mdb'
bench_database "$db"
older=$(bench_unix_path 'C:\Suite Data\Données\Archiv\ältere.txt')
mkdir -p "$(dirname "$older")" && echo old >"$older" && chmod 644 "$older" "$(bench_unix_path "$db")"
run_probe SetPermissions "$db"
probe_expect_done "the grants run to their end without a message"
bench_expect_eq "the database, its folder and a file deep in its tree granted: their group may write them" \
    "w w w" "$(group_writes "$(bench_unix_path "$db")") $(group_writes "$(dirname "$older")/..") $(
        group_writes "$older")"

# --- a database directly in a drive's root ----------------------------------
bench_database 'C:\db.mdb'
root=$(bench_unix_path 'C:\')
beside="$root/beside.txt"
echo other >"$beside" && chmod 644 "$beside" "$(bench_unix_path 'C:\db.mdb')"
before=$(stat -c %a "$root")
run_probe SetPermissions 'C:\db.mdb'
probe_expect_done "a database in the root: the procedure returns"
bench_expect_eq "a database in the root: the file granted, the drive and what is beside it not" \
    "w $before -" "$(group_writes "$(bench_unix_path 'C:\db.mdb')") $(stat -c %a "$root") $(group_writes "$beside")"

bench_finish
