#!/usr/bin/env bash
# shellcheck disable=SC2317 # is_backup_of is handed to bench_expect
# The compaction and swap under Wine, through form_probe CompactDB and the
# JET engine stand-in reached by its ProgID: a real JET 4 database in a folder
# whose names hold blanks and non-ASCII letters keeps every table and row and
# its old file under the backup name; leftovers of earlier runs are never
# touched and leave the one free temporary name to use; with every name taken,
# and with the database held open by a server for longer than the run waits
# (a minute), the program ends with its message and the files as they were; a
# compacted copy that cannot be put in place leaves the old database under its
# name, which it never left.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_start
# shellcheck source=probe_lib.sh
source "$(dirname "$0")/probe_lib.sh"

# Every table of a database exported as mdbtools reads it: the table list,
# then each table's rows under its name.
database_contents() {
    local table
    mdb-tables -1 "$1" || return 1
    while IFS= read -r table; do
        echo "== $table"
        mdb-export "$1" "$table" || return 1
    done < <(mdb-tables -1 "$1")
}

# Checksum and name of every file in a folder, one a line; compared with diff,
# so that a failure shows only the files that changed.
folder_state() { (cd "$1" && sha256sum -- * | sort -k 2); }

# WHAT BEFORE FILE: the folder of FILE is as folder_state saw it (BEFORE).
expect_folder_as_before() {
    bench_expect_eq "$1" "" "$(diff <(echo "$2") <(folder_state "$(dirname "$3")"))"
}

# BACKUP is DB followed by a suffix .<0..899>.tmpBackup, without leading zeros.
is_backup_of() {
    [[ $2 == "$1"* ]] && grep -Eqx '\.(0|[1-9][0-9]?|[1-8][0-9][0-9])\.tmpBackup' <<<"${2#"$1"}"
}

dataset=$(bench_fetch_dataset) || bench_die "no test database"
contents=$(database_contents "$dataset")
first_table=$(mdb-tables -1 "$dataset" | head -n 1)
[[ -n $first_table && $(mdb-export "$dataset" "$first_table" | wc -l) -gt 1 ]] ||
    bench_die "mdbtools reads no rows from the test database to compare"
original_sum=$(sha256sum <"$dataset")

# --- a compaction that succeeds -------------------------------------------------
db='C:\Suite Data\Données\suite.mdb'
bench_database "$db"
db_file=$(bench_unix_path "$db")
folder=$(dirname "$db_file")
run_probe CompactDB "$db"
backup=$(head -n 1 <<<"$probe_out")
bench_expect_eq "the compaction returns the backup path and no message" "done|0" \
    "$(tail -n 1 <<<"$probe_out")|${#probe_boxes[@]}"
bench_expect "the backup is named <db>.<0..899>.tmpBackup without leading zeros" is_backup_of "$db" "$backup"
backup_file="$folder/${backup##*\\}"
bench_expect "the old database stands under the backup name, byte for byte" \
    test "$(sha256sum <"$backup_file" 2>/dev/null)" == "$original_sum"
bench_expect_eq "the compacted database has the same tables and rows" "$contents" \
    "$(database_contents "$db_file" 2>&1)"
bench_expect_eq "nothing else is left in the folder" \
    "$(printf '%s\n' "./suite.mdb" "./${backup##*\\}" | sort)" "$(cd "$folder" && find . -type f | sort)"

# --- leftovers of earlier runs take every temporary name but one --------------
left_db='C:\Ältere Läufe\suite.mdb'
bench_database "$left_db"
left_file=$(bench_unix_path "$left_db")
left_folder=$(dirname "$left_file")
free=$((RANDOM % 900))
for ((n = 0; n < 900; n++)); do
    ((n == free)) && continue
    # Most as temporary copies, some as backups, some as both.
    case $((n % 5)) in
        0) echo "leftover backup $n" >"$left_file.$n.tmpBackup" ;;
        1) echo "leftover copy $n" >"$left_file.$n.tmp" && echo "leftover backup $n" >"$left_file.$n.tmpBackup" ;;
        *) echo "leftover copy $n" >"$left_file.$n.tmp" ;;
    esac
done
leftovers_before=$(folder_state "$left_folder" | grep -v ' suite\.mdb$')
run_probe CompactDB "$left_db"
bench_expect_eq "with one name free the compaction succeeds and uses that one" \
    "$left_db.$free.tmpBackup|done|0" "$(head -n 1 <<<"$probe_out")|$(tail -n 1 <<<"$probe_out")|${#probe_boxes[@]}"
left_after=$(folder_state "$left_folder")
bench_expect_eq "no leftover was overwritten or removed" "" \
    "$(diff <(echo "$leftovers_before") <(grep -v -e ' suite\.mdb$' -e " suite\.mdb\.$free\.tmpBackup\$" <<<"$left_after"))"
bench_expect_eq "the database and its backup are the only files besides the leftovers" \
    "$(printf '%s\n' suite.mdb "suite.mdb.$free.tmpBackup" | sort)" \
    "$(comm -13 <(cut -d' ' -f3- <<<"$leftovers_before" | sort) <(cut -d' ' -f3- <<<"$left_after" | sort))"
bench_expect "the old database is the backup, byte for byte" \
    test "$(sha256sum <"$left_file.$free.tmpBackup" 2>/dev/null)" == "$original_sum"
bench_expect_eq "the compacted database has the same tables and rows" "$contents" \
    "$(database_contents "$left_file" 2>&1)"

# --- every temporary name taken ---------------------------------------------------
full_db='C:\Suite Data\Voll belegt\suite.mdb'
bench_database "$full_db"
full_file=$(bench_unix_path "$full_db")
for ((n = 0; n < 900; n++)); do
    if ((n % 2)); then : >"$full_file.$n.tmp"; else : >"$full_file.$n.tmpBackup"; fi
done
full_before=$(folder_state "$(dirname "$full_file")")
probe_expect_status=1 run_probe CompactDB "$full_db"
probe_expect_one_box "all names taken" "$PROBE_ANY_ERROR"
bench_expect "the box names the database and its temporary names" grep -qF "$full_db.0.tmp" <<<"$probe_box"
expect_folder_as_before "all names taken: the folder is as it was, database untouched, no new file" "$full_before" "$full_file"

# --- a server holds the database open -------------------------------------------------
held_db='C:\Suite Data\Gehalten Ñ\suite.mdb'
bench_database "$held_db"
held_file=$(bench_unix_path "$held_db")
held_before=$(folder_state "$(dirname "$held_file")")
bench_start_program THService.exe --hold "$held_db" >/dev/null
# The procedure waits a minute for the file to be let go before it compacts.
BENCH_WINE_TIMEOUT=120 probe_expect_status=3 probe_shot=compaction/held_database_message.png \
    run_probe CompactDB "$held_db"
expected="Could not compact and repair database. Please try and compact and repair the database using the \
Manual Method described in the FAQ\\r\\nError was: -2147467259, Could not use '$held_db'; file already in use."
probe_expect_one_box "held open"
bench_expect_eq "held open: the compaction's own message, exactly" "$expected" "$probe_box"
expect_folder_as_before "held open: the folder is as it was, database untouched, no backup, no temporary file" "$held_before" "$held_file"

# --- a scanner holds the database for a moment in the swap ----------------------------
# The old database held open for 3 s by another process between the backup's
# name and the replacing rename: the rename is tried again until it goes
# through.
scanned_db='C:\Suite Data\Gescannt\suite.mdb'
bench_database "$scanned_db"
scanned_file=$(bench_unix_path "$scanned_db")
bench_probe hold-in-swap "$scanned_db" 60000 3000 >"$BENCH_TMP/scan.out" &
holder=$!
probe_expect_status=0 run_probe CompactDB "$scanned_db"
wait "$holder"
bench_expect "the scanner held the database during the swap" grep -q '^holding ' "$BENCH_TMP/scan.out"
bench_expect_eq "held for a moment: the compacted database stands under its name" "$contents" \
    "$(database_contents "$scanned_file" 2>&1)"
bench_expect "and the old one under its backup name" test "$(sha256sum <"$(ls "$scanned_file".*.tmpBackup)")" \
    == "$original_sum"

# --- the compacted copy cannot be put in place ---------------------------------------
# The old database held open by another process between the backup's name and
# the replacing rename for longer than the 30 s the rename is tried: the copy
# cannot replace it; the old database must still stand under its own name,
# and the backup name be gone again.
swap_db='C:\Suite Data\Zurück gelegt\suite.mdb'
bench_database "$swap_db"
swap_file=$(bench_unix_path "$swap_db")
bench_probe hold-in-swap "$swap_db" 60000 >"$BENCH_TMP/hold.out" &
holder=$!
probe_expect_status=1 run_probe CompactDB "$swap_db"
wait "$holder"
compacted=$(sed -n 's/^copy //p' "$BENCH_TMP/hold.out" | tr -d '\r')
echo "  compacted copy: $compacted"
bench_expect "the other process held the database during the swap" grep -q '^holding ' "$BENCH_TMP/hold.out"
# The error boundary's box, with the number of a replace refused by a file in use.
probe_expect_one_box "the swap fails" '-2147024891 \(0x80070005\)'
bench_expect "the box says the old database is in place and where the copy is" \
    grep -qF "The old database is still in place under $swap_db; the compacted copy is left as $compacted." <<<"$probe_box"
bench_expect "the old database is under its name, byte for byte" \
    test "$(sha256sum <"$swap_file" 2>/dev/null)" == "$original_sum"
bench_expect_eq "the compacted copy is kept, with the same tables and rows" "$contents" \
    "$(database_contents "$(bench_unix_path "$compacted")" 2>&1)"
bench_expect_eq "no backup is left: the database and its compacted copy only" \
    "$(printf '%s\n' "./suite.mdb" "./${compacted##*\\}" | sort)" \
    "$(cd "$(dirname "$swap_file")" && find . -type f | sort)"

bench_finish
