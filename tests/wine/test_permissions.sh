#!/usr/bin/env bash
# The permission grants under Wine, through form_probe SetPermissions with the
# log a run has open: the grant lines it writes beside the database, in their
# order, with this machine's accounts (Wine names the groups as Windows does
# and knows none of IIS 6's accounts), for a database in a folder whose names
# hold blanks and non-ASCII letters, whose tree is walked; and for a database
# in a drive's root, only the six grants on the file. Wine keeps no access
# list: it turns a grant to the users group into the group's mode bits.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
# shellcheck source=probe_lib.sh
source "$(dirname "$0")/probe_lib.sh"

host=$(hostname)
[[ -n $host ]] || bench_die "this machine has no host name to compare with"

# --- a database in a folder whose names hold blanks and non-ASCII letters ----
db='C:\Suite Data\Données\suite.mdb'
bench_database "$db"
older=$(bench_unix_path 'C:\Suite Data\Données\Archiv\ältere.txt')
mkdir -p "$(dirname "$older")" && echo old >"$older" && chmod 644 "$older"
run_probe SetPermissions "$db"
probe_expect_done "the grants run to their end without a message"
# Below the folder: the database, its log, the folder Archiv and its file.
bench_expect_eq "twelve grant lines, in order, with the accounts of $host" \
    "$(bench_grant_lines "$db" "$host" "done, 4 entries, 0 skipped")" \
    "$(bench_log_lines "$(bench_unix_path "$db").log" | grep '^Grant: ')"
bench_expect_eq "a file deep in the folder's tree was granted: its group may write it now" w \
    "$(stat -c %A "$older" | cut -c6)"

# --- a database directly in a drive's root ----------------------------------
bench_database 'C:\db.mdb'
run_probe SetPermissions 'C:\db.mdb'
probe_expect_done "a database in the root: the procedure returns"
bench_expect_eq "a database in the root: the six file grants, no grant on the drive" \
    "$(bench_grant_lines 'C:\db.mdb' "$host")" "$(bench_log_lines "$(bench_unix_path 'C:\db.mdb').log" | grep '^Grant: ')"

bench_finish
