#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2317 # conditions and functions are handed to bench_wait_until and bench_expect unexpanded
# The "DAO.DBEngine.36" stand-in under Wine, called through IDispatch by dao_check as the program
# calls it. Its reader must see what mdbtools sees (mdb-tables, mdb-count, and the rows mdb-json
# prints) in the test database and in each copy the JET engine stand-in derives from it on request:
# a row left out, a table left out, MSysCompactError added, a damaged catalogue repaired. Then DAO's
# errors for files it cannot read, and the file held from OpenDatabase until Close or the release.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

DAO_CHECK="$BUILD_DIR/tests/bench/dao_engine/dao_check.exe"
JET_CHECK="$BUILD_DIR/tests/bench/jet_engine/jet_check.exe"
bench_require_built "$DAO_CHECK" "$JET_CHECK" "$BUILD_DIR/tests/bench/dao_engine/dao_engine.dll"

bench_start
win_folder='C:\Données DAO'
folder=$(bench_unix_path "$win_folder")
db="$win_folder\\suite.mdb"
bench_database "$db"

# Runs dao_check: its output in $output, its error output in $details.
check() {
    bench_wine "$DAO_CHECK" "$@" >"$BENCH_TMP/out" 2>"$BENCH_TMP/err"
    output=$(tr -d '\r' <"$BENCH_TMP/out")
    details=$(tr -d '\r' <"$BENCH_TMP/err")
}

# Each table as mdbtools reads a file: name, stored count (mdb-count), rows (mdb-json), and whether
# mdb-tables lists it as a user table or only among the system ones.
mdb_reading() {
    local table kind users
    users=$(mdb-tables -1 "$1")
    while IFS= read -r table; do
        kind=system
        grep -qxF "$table" <<<"$users" && kind=user
        printf '%s\t%s\t%s\t%s\n' "$table" "$(mdb-count "$1" "$table")" "$(mdb-json "$1" "$table" | wc -l)" "$kind"
    done < <(mdb-tables -S -1 "$1") | LC_ALL=C sort
}

# The same from dao_check's survey; Attributes 0 is a user table, dbSystemObject's bits a system one.
dao_reading() {
    local name attributes stored rows kind
    while IFS=$'\t' read -r name attributes stored rows; do
        if ((attributes == 0)); then
            kind=user
        elif (((attributes & 0x80000002) == 0x80000002)); then
            kind=system
        else
            kind="attributes $attributes"
        fi
        printf '%s\t%s\t%s\t%s\n' "$name" "$stored" "$rows" "$kind"
    done <<<"$output" | LC_ALL=C sort
}

# Surveys a database (Windows path) through DAO and compares with mdbtools; the reading in $reading.
expect_mdbtools_reading() {
    local what=$1 win=$2
    check survey "$win"
    reading=$(dao_reading)
    bench_expect_eq "$what: DAO reads the tables and counts mdbtools reads" "$(mdb_reading "$(bench_unix_path "$win")")" \
        "$reading"
    bench_expect_eq "$what: every object released" "unload: ready" "$details"
}

# Lines of the second reading that are not in the first ("+ line") and the reverse ("- line").
changes() { diff <(echo "$1") <(echo "$2") | sed -n 's/^> /+ /p; s/^< /- /p' | LC_ALL=C sort; }

echo "== registration"
clsid=$(bench_reg query 'HKCR\DAO.DBEngine.36\CLSID' /ve /reg:32 | grep -o '{[0-9A-F-]*}')
server=$(bench_reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:32)
bench_expect "the ProgID's class in the 32-bit view is the stand-in" grep -qF 'C:\bench\bin\dao_engine.dll' <<<"$server"
bench_expect "... apartment-threaded, as DAO is" grep -qP 'ThreadingModel\s+REG_SZ\s+Apartment' <<<"$server"

echo "== the test database"
expect_mdbtools_reading "the original" "$db"
original=$reading
bench_expect "it has a user table with rows to lose" grep -qP '\t[1-9][0-9]*\tuser$' <<<"$original"
bench_expect_eq "DAO's TableDefs are in order of their names" "$(cut -f 1 <<<"$output" | sort -f)" \
    "$(cut -f 1 <<<"$output")"
user_table=$(grep -P '\tuser$' <<<"$original" | head -n 1 | cut -f 1)
check count "$db" "${user_table,,}"
bench_expect_eq "COUNT(*) finds [${user_table,,}] in any case" "$(mdb-json "$folder/suite.mdb" "$user_table" | wc -l)" \
    "$output"

echo "== copies the engine stand-in derives"
# compact RESULT NAME: the engine's compaction of the database into NAME with BENCH_JET_RESULT=RESULT.
compact() {
    BENCH_JET_RESULT=$1 bench_wine "$JET_CHECK" "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$3" \
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$win_folder\\$2;Jet OLEDB:Engine Type=5" 2>/dev/null |
        head -n 1 | tr -d '\r'
}
catalogue() { grep -P '^MSysObjects\t' <<<"$1" | cut -f 2,3; }
without_catalogue() { grep -vP '^MSysObjects\t' <<<"$1"; }

bench_expect_eq "lose-row: the compaction succeeds" ok "$(compact lose-row lose-row.mdb "$db")"
expect_mdbtools_reading "lose-row" "$win_folder\\lose-row.mdb"
removed=$(changes "$original" "$reading" | sed -n 's/^- //p')
IFS=$'\t' read -r name stored_before rows_before _ <<<"$removed"
bench_expect_eq "lose-row: one user table has one row fewer, stored and counted" \
    "+ $name"$'\t'"$((stored_before - 1))"$'\t'"$((rows_before - 1))"$'\t'"user"$'\n'"- $removed" \
    "$(changes "$original" "$reading")"

bench_expect_eq "lose-table: the compaction succeeds" ok "$(compact lose-table lose-table.mdb "$db")"
expect_mdbtools_reading "lose-table" "$win_folder\\lose-table.mdb"
lost=$(changes "$(without_catalogue "$original")" "$(without_catalogue "$reading")")
bench_expect "lose-table: one user table is gone, with its rows; nothing else changes" \
    grep -qxP -- '- [^\t]+\t\d+\t\d+\tuser' <<<"$lost"
bench_expect_eq "lose-table: ... and only that" 1 "$(wc -l <<<"$lost")"
read -r stored rows <<<"$(catalogue "$original")"
bench_expect_eq "lose-table: the catalogue holds one row fewer" "$((stored - 1))"$'\t'"$((rows - 1))" "$(catalogue "$reading")"

bench_expect_eq "compact-error: the compaction succeeds" ok "$(compact compact-error compact-error.mdb "$db")"
expect_mdbtools_reading "compact-error" "$win_folder\\compact-error.mdb"
added=$(changes "$(without_catalogue "$original")" "$(without_catalogue "$reading")")
bench_expect "compact-error: MSysCompactError is added, with rows; nothing else changes" \
    grep -qxP '\+ MSysCompactError\t[1-9]\d*\t[1-9]\d*\tuser' <<<"$added"
bench_expect_eq "compact-error: ... and only that" 1 "$(wc -l <<<"$added")"
bench_expect_eq "compact-error: the catalogue holds one row more" "$((stored + 1))"$'\t'"$((rows + 1))" \
    "$(catalogue "$reading")"

# Page 2, the catalogue's definition, with a data page's type: neither reader makes sense of it.
cp "$folder/suite.mdb" "$folder/damaged.mdb"
printf '\x01' | dd of="$folder/damaged.mdb" bs=1 seek=8192 conv=notrunc status=none
check survey "$win_folder\\damaged.mdb"
bench_expect_eq "repair: DAO cannot open the damaged database" \
    "error 3343 Unrecognized database format '$win_folder\\damaged.mdb'." "$output"
mdb_tables_quietly() { mdb-tables -S "$1" >/dev/null 2>&1; }
bench_expect_not "repair: nor can mdbtools" mdb_tables_quietly "$folder/damaged.mdb"
bench_expect_eq "repair: the compaction succeeds" ok "$(compact repair repaired.mdb "$win_folder\\damaged.mdb")"
bench_expect "repair: the copy is the database before the damage" cmp -s "$folder/suite.mdb" "$folder/repaired.mdb"
expect_mdbtools_reading "repair" "$win_folder\\repaired.mdb"
bench_expect_eq "without BENCH_JET_RESULT, the damaged database is copied as it is" ok \
    "$(compact '' plain.mdb "$win_folder\\damaged.mdb")"
bench_expect "... byte for byte" cmp -s "$folder/damaged.mdb" "$folder/plain.mdb"
bench_expect_eq "an unknown BENCH_JET_RESULT is refused" \
    "error 0x80004005 BENCH_JET_RESULT=lose-all is none of lose-row, lose-table, compact-error, repair." \
    "$(compact lose-all unknown.mdb "$db")"
bench_expect_not "... leaving no copy" test -e "$folder/unknown.mdb"

echo "== files DAO cannot read"
# expect_error WHAT WANTED SOURCE: the last check failed with DAO's number and words, from SOURCE,
# the same words in the thread's error object, and nothing left held.
expect_error() {
    bench_expect_eq "$1" "$2" "$output"
    bench_expect_eq "$1: DAO's error object and source" \
        "errorinfo: ${2#error * }"$'\n'"source: $3"$'\n'"unload: ready" "$details"
}
check survey "$win_folder\\missing.mdb"
expect_error "a missing file" "error 3024 Could not find file '$win_folder\\missing.mdb'." DAO.Workspace
check survey "$win_folder\\no such folder\\suite.mdb"
expect_error "a missing folder" "error 3044 '$win_folder\\no such folder\\suite.mdb' is not a valid path. Make sure \
that the path name is spelled correctly and that you are connected to the server on which the file resides." \
    DAO.Workspace
echo "Standard Jet DB, or so it says" >"$folder/text.mdb"
check survey "$win_folder\\text.mdb"
expect_error "a text file" "error 3343 Unrecognized database format '$win_folder\\text.mdb'." DAO.Workspace
cp "$folder/suite.mdb" "$folder/jet3.mdb"
printf '\x00' | dd of="$folder/jet3.mdb" bs=1 seek=20 conv=notrunc status=none
check survey "$win_folder\\jet3.mdb"
expect_error "a JET 3 file" "error 3343 Unrecognized database format '$win_folder\\jet3.mdb'." DAO.Workspace
size=$(stat -c %s "$folder/suite.mdb")
# Without the catalogue's rows, without half the tables' definitions, with the last page cut short.
for cut in 12288 $(((size / 8192) * 4096)) $((size - 100)); do
    head -c "$cut" "$folder/suite.mdb" >"$folder/cut.mdb"
    check survey "$win_folder\\cut.mdb"
    expect_error "cut to $cut bytes" "error 3343 Unrecognized database format '$win_folder\\cut.mdb'." DAO.Workspace
done
check count "$db" "no such table"
expect_error "an unknown table" "error 3078 The Microsoft Jet database engine cannot find the input table or query \
'no such table'. Make sure it exists and that its name is spelled correctly." DAO.Database

echo "== the file is held while the database is open"
gate="$win_folder\\gate"
# hold WHAT close|release [exclusive]: dao_check holds the database until the gate opens, then
# closes or releases it, and ends when the gate is gone.
hold() {
    rm -f "$folder/gate"
    bench_wine "$DAO_CHECK" hold "$db" "$gate" "${@:2}" >"$BENCH_TMP/hold" 2>"$BENCH_TMP/hold.err" &
    hold_job=$!
    bench_expect "$1: the database is open" bench_wait_until 'grep -q "^open" "$BENCH_TMP/hold"' 30
}
renaming() { bench_probe try-move "$db" "$db.moved" | tr -d '\r'; }
finish_hold() {
    rm -f "$folder/gate"
    wait "$hold_job"
    bench_expect_eq "$1: every object released at the end" "unload: ready" \
        "$(grep '^unload' "$BENCH_TMP/hold.err" | tr -d '\r')"
}

hold close close
bench_expect_eq "close: while open, a rename fails with a sharing violation" "error 32" "$(renaming)"
touch "$folder/gate"
bench_expect "close: Database.Close" bench_wait_until 'grep -q "^after close" "$BENCH_TMP/hold"' 30
bench_expect_eq "close: a TableDef taken before is gone" "after close: error 3420 Object invalid or no longer set." \
    "$(grep '^after close' "$BENCH_TMP/hold" | tr -d '\r')"
bench_expect_eq "close: the file is free while the objects live on" moved "$(renaming)"
finish_hold close

hold release release
bench_expect_eq "release: while open, a rename fails" "error 32" "$(renaming)"
touch "$folder/gate"
bench_expect "release: every object released" bench_wait_until 'grep -q "^released" "$BENCH_TMP/hold"' 30
bench_expect_eq "release: the file is free without a Close" moved "$(renaming)"
finish_hold release

hold exclusive close exclusive
check survey "$db"
expect_error "exclusive: another open fails" "error 3051 The Microsoft Jet database engine cannot open the file \
'$db'. It is already opened exclusively by another user, or you need permission to view its data." DAO.Workspace
touch "$folder/gate"
bench_expect "exclusive: Database.Close" bench_wait_until 'grep -q "^closed" "$BENCH_TMP/hold"' 30
check count "$db" "$user_table"
bench_expect_eq "exclusive: once closed, the database opens again" \
    "$(mdb-json "$folder/suite.mdb" "$user_table" | wc -l)" "$output"
finish_hold exclusive

bench_finish
