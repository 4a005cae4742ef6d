#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2317 # conditions and functions are handed to bench_wait_until unexpanded
# The "Jro.JetEngine" stand-in under Wine, called through IDispatch by jet_check exactly as the
# program calls it: registration, a compaction into a folder whose name holds blanks and non-ASCII
# letters (mdbtools must read the same tables and rows), one spread over the time a test asks for,
# and each refusal with the engine's number and wording, never leaving a destination file behind.
# Then the program's own engine process (platform_check hosts it as the program does): tied to
# the run that started it even outside a job.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

JET_CHECK="$BUILD_DIR/tests/bench/jet_engine/jet_check.exe"
PLATFORM_CHECK="$BUILD_DIR/tests/wine/platform_check/platform_check.exe"
[[ -f $JET_CHECK && -f $BUILD_DIR/tests/bench/jet_engine/jet_engine.dll && -f $PLATFORM_CHECK ]] ||
    bench_die "jet_check.exe, jet_engine.dll or platform_check.exe is not built"

bench_start
dataset=$(bench_fetch_dataset) || bench_die "no test database"
engine='C:\bench\bin\jet_engine.dll'
regsvr32='C:\windows\system32\regsvr32.exe'
[[ -d $WINEPREFIX/drive_c/windows/syswow64 ]] && regsvr32='C:\windows\syswow64\regsvr32.exe'

# Runs jet_check; its first output line lands in $result, its error output in $details.
check() {
    bench_wine "$JET_CHECK" "$@" >"$BENCH_TMP/out" 2>"$BENCH_TMP/err"
    result=$(head -n 1 "$BENCH_TMP/out" | tr -d '\r')
    details=$(tr -d '\r' <"$BENCH_TMP/err")
}

# Wine has no message text for every COM error, so only the number (and what
# follows it in WANTED) is compared.
expect_number() {
    local what=$1 wanted=$2 got=$result
    [[ $got == "$wanted "* ]] && got=$wanted
    bench_expect_eq "$what" "$wanted" "$got"
}

# Every refusal comes from the JET engine, is also the thread's error object, and leaks nothing.
expect_engine_error() {
    local what=$1 wanted=$2
    bench_expect_eq "$what" "$wanted" "$result"
    bench_expect_eq "$what: the engine's error object; the DLL can unload" \
        "source: Microsoft JET Database Engine"$'\n'"errorinfo: ${wanted#error 0x???????? }"$'\n'"unload: ready" \
        "$(grep -E '^(source|errorinfo|unload): ' <<<"$details")"
}

source_conn() { echo "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$1;Jet OLEDB:Database Password="; }
dest_conn() {
    echo "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$1;Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password="
}
key_exists() { bench_reg query "$@" >/dev/null 2>&1; }

win_folder='C:\Suite Data Ördner ñ'
folder=$(bench_unix_path "$win_folder")
src="$win_folder\\suite.mdb"
bench_database "$src"
source_hash="$(sha256sum <"$folder/suite.mdb")"

echo "== registration"
# The template registered the stand-in: take that away, then register it as a setup would.
bench_expect "regsvr32 /u of the template's registration" bench_wine "$regsvr32" /s /u "$engine"
bench_expect_not "unregistration leaves no ProgID key" key_exists 'HKCR\Jro.JetEngine' /reg:32
check "$(source_conn "$src")" "$(dest_conn "$src.1.tmp")"
expect_number "unregistered, the ProgID is unknown" "error 0x800401F3"
bench_expect "regsvr32 registers it again" bench_wine "$regsvr32" /s "$engine"
clsid='{F747820F-7CD4-4B9A-B6D5-87E720B592E3}'
bench_expect "the ProgID names the class" \
    grep -qF "$clsid" <<<"$(bench_reg query 'HKCR\Jro.JetEngine\CLSID' /ve /reg:32)"
bench_expect "CurVer names the versioned ProgID" \
    grep -qF "Jro.JetEngine.2.6" <<<"$(bench_reg query 'HKCR\Jro.JetEngine\CurVer' /ve /reg:32)"
bench_expect "InprocServer32 in the 32-bit view names the DLL" \
    grep -qF "$engine" <<<"$(bench_reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:32)"

echo "== compaction into a folder with blanks and non-ASCII letters"
check "$(source_conn "$src")" "$(dest_conn "$src.417.tmp")"
bench_expect_eq "compaction" "ok" "$result"
bench_expect "the DLL can unload after a compaction" grep -qxF "unload: ready" <<<"$details"
copy="$folder/suite.mdb.417.tmp"
bench_expect "the compacted copy is there" test -f "$copy"
bench_expect_eq "the source is unchanged" "$source_hash" "$(sha256sum <"$folder/suite.mdb")"
tables="$(mdb-tables -1 "$folder/suite.mdb")"
bench_expect "mdbtools reads tables in the source" test -n "$tables"
bench_expect_eq "the copy has the same tables" "$tables" "$(mdb-tables -1 "$copy" 2>&1)"
while IFS= read -r table; do
    rows="$(mdb-export "$folder/suite.mdb" "$table")"
    bench_expect "table $table has rows to compare" test "$(wc -l <<<"$rows")" -gt 1
    bench_expect_eq "the copy has the rows of $table" "$rows" "$(mdb-export "$copy" "$table" 2>&1)"
done <<<"$tables"

# Keys in any case with blanks around them, and a quoted data source that holds a ';'.
mkdir -p "$folder/a;b"
check " provider = microsoft.jet.oledb.4.0 ; DATA SOURCE = $src ; jet oledb:database password= " \
    "PROVIDER=Microsoft.Jet.OLEDB.4.0;data source=\"$win_folder\\a;b\\copy.mdb\";JET OLEDB:ENGINE TYPE= 5 ;"
bench_expect_eq "connection strings in another spelling" "ok" "$result"
bench_expect "the copy under a quoted path equals its source" cmp -s "$folder/suite.mdb" "$folder/a;b/copy.mdb"

echo "== an existing destination is never replaced"
echo "keep me" >"$folder/existing.tmp"
check "$(source_conn "$src")" "$(dest_conn "$win_folder\\existing.tmp")"
expect_engine_error "existing file" "error 0x80040E17 Database already exists."
bench_expect_eq "the existing destination is unchanged" "keep me" "$(cat "$folder/existing.tmp")"
mkdir -p "$folder/existing folder"
check "$(source_conn "$src")" "$(dest_conn "$win_folder\\existing folder")"
expect_engine_error "existing folder" "error 0x80040E17 Database already exists."
bench_expect "the existing folder is still there" test -d "$folder/existing folder"

echo "== sources it cannot use"
check "$(source_conn "$win_folder\\missing.mdb")" "$(dest_conn "$src.2.tmp")"
expect_engine_error "missing source" "error 0x80004005 Could not find file '$win_folder\\missing.mdb'."
echo "Standard Jet DB, or so it says" >"$folder/text.mdb"
check "$(source_conn "$win_folder\\text.mdb")" "$(dest_conn "$src.3.tmp")"
expect_engine_error "not a database" "error 0x80004005 Unrecognized database format '$win_folder\\text.mdb'."
# A JET 3 file has the same signature and name; only its version byte differs.
cp "$dataset" "$folder/jet3.mdb"
printf '\x00' | dd of="$folder/jet3.mdb" bs=1 seek=20 conv=notrunc status=none
check "$(source_conn "$win_folder\\jet3.mdb")" "$(dest_conn "$src.4.tmp")"
expect_engine_error "JET 3 source" "error 0x80004005 Unrecognized database format '$win_folder\\jet3.mdb'."

# A server holding the database: read and write access, sharing both.
bench_wine "$JET_CHECK" hold "$src" 50 >"$BENCH_TMP/hold" 2>&1 &
holder_pid=$!
bench_expect "the holder opened the database" bench_wait_until 'grep -q holding "$BENCH_TMP/hold"' 30
check "$(source_conn "$src")" "$(dest_conn "$src.5.tmp")"
expect_engine_error "source in use" "error 0x80004005 Could not use '$src'; file already in use."
# Ended from inside, as a server is stopped: the job is only the shell around wine.
bench_expect_eq "the holder is ended" 1 "$(bench_probe kill jet_check.exe)"
wait "$holder_pid"
bench_expect "the holder's end frees the database" \
    bench_wait_until '[[ $(bench_probe try-open "$src" read) == opened ]]' 10
check "$(source_conn "$src")" "$(dest_conn "$src.6.tmp")"
bench_expect_eq "the same source once released" "ok" "$result"

echo "== connection strings it refuses"
check "$(source_conn "$src")" "$(dest_conn "$win_folder\\no such folder\\suite.mdb")"
expect_engine_error "missing destination folder" \
    "error 0x80004005 '$win_folder\\no such folder\\suite.mdb' is not a valid path. Make sure that the path name is \
spelled correctly and that you are connected to the server on which the file resides."
check "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=$src" "$(dest_conn "$src.7.tmp")"
expect_engine_error "another provider" "error 0x800A0E7A Provider cannot be found. It may not be properly installed."
check "$(source_conn "$src")" "Data Source=$src.8.tmp;Jet OLEDB:Engine Type=5"
expect_engine_error "no provider" "error 0x800A0E7A Provider cannot be found. It may not be properly installed."
check "$(source_conn "$src")" "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$src.9.tmp;Jet OLEDB:Engine Type=4"
expect_engine_error "JET 3 output" \
    "error 0x80004005 Engine type '4' is not supported; this engine reads and writes only type 5 (JET 4.x)."
check "$(source_conn "$src")" "$(dest_conn "$src.10.tmp")secret"
expect_engine_error "a password" "error 0x80040E4D Not a valid password."

echo "== a compaction that takes the time a test asks for"
# BENCH_JET_COMPACT_MS in the caller's environment spreads the copy over that time.
BENCH_JET_COMPACT_MS=2000 bench_wine "$JET_CHECK" "$(source_conn "$src")" "$(dest_conn "$src.13.tmp")" \
    >"$BENCH_TMP/slow" 2>/dev/null &
slow_job=$!
part_written() {
    local size
    size=$(stat -c %s "$folder/suite.mdb.$1.tmp" 2>/dev/null) && ((size > 0 && size < $(stat -c %s "$folder/suite.mdb")))
}
bench_expect "meanwhile the copy stands part-written" bench_wait_until 'part_written 13' 10
wait "$slow_job"
bench_expect_eq "then the compaction succeeds with a copy equal to its source" "ok same" \
    "$(head -n 1 "$BENCH_TMP/slow" | tr -d '\r') $(cmp -s "$folder/suite.mdb" "$folder/suite.mdb.13.tmp" && echo same)"

echo "== a copy that fails midway is removed"
# A file size limit below the database's size makes a write fail halfway through the copy.
(
    trap '' XFSZ
    ulimit -f 100
    check "$(source_conn "$src")" "$(dest_conn "$src.12.tmp")"
    echo "$result" >"$BENCH_TMP/limited"
)
result="$(cat "$BENCH_TMP/limited")"
expect_number "write failure" "error 0x80004005 Could not write '$src.12.tmp':"
bench_expect_not "no partial copy is left behind" test -e "$folder/suite.mdb.12.tmp"

bench_expect_eq "only the successful compactions left files behind" "./suite.mdb.13.tmp ./suite.mdb.417.tmp ./suite.mdb.6.tmp " \
    "$(cd "$folder" && find . -name '*.tmp' ! -name 'existing.tmp' | sort | tr '\n' ' ')"

echo "== the engine's process ends with the run that started it, even in no job"
BENCH_JET_COMPACT_MS=30000 bench_wine "$PLATFORM_CHECK" orphan "$(source_conn "$src")" "$(dest_conn "$src.20.tmp")" \
    >"$BENCH_TMP/orphan" 2>/dev/null &
orphan_job=$!
bench_expect "an engine started in no job" bench_wait_until 'grep -q "in no job" "$BENCH_TMP/orphan"' 30
read -r _ parent _ engine_pid _ <"$BENCH_TMP/orphan"
bench_expect "it is at work" bench_wait_until 'part_written 20' 10
bench_expect_eq "its run killed, it ends itself within 10 s with its own code" "engine ended 0x4341524F" \
    "$(bench_wine_text "$PLATFORM_CHECK" end-parent "$parent" "$engine_pid" 10000)"
wait "$orphan_job"
bench_expect_eq "the database is free again" opened "$(bench_probe try-open "$src" read | tr -d '\r')"

echo "== unregistration"
bench_expect "regsvr32 /u after use" bench_wine "$regsvr32" /s /u "$engine"
check "$(source_conn "$src")" "$(dest_conn "$src.11.tmp")"
expect_number "after unregistration" "error 0x800401F3"

bench_finish
