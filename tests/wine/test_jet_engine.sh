#!/usr/bin/env bash
# The "Jro.JetEngine" stand-in under Wine, called through IDispatch by jet_check exactly as the
# program calls it: registration, a compaction into a folder whose name holds blanks and non-ASCII
# letters (mdbtools must read the same tables and rows), and each refusal with the engine's number
# and wording, never leaving a destination file behind.
#
# Uses the Windows build (CAR_BUILD_DIR, default build/windows; or CAR_JET_BIN_DIR for the folder
# holding jet_engine.dll and jet_check.exe) and the test database (CAR_DATASET).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bin_dir="${CAR_JET_BIN_DIR:-${CAR_BUILD_DIR:-$repo/build/windows}/tests/bench/jet_engine}"
dataset="${CAR_DATASET:-$HOME/.cache/car-bench/node-adodb.mdb}"

for f in jet_engine.dll jet_check.exe; do
    [[ -f "$bin_dir/$f" ]] || { echo "FAIL: $bin_dir/$f is missing; build the windows preset first" >&2; exit 1; }
done

work="$(mktemp -d /tmp/car-jet.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8
xvfb_pid=""
holder_pid=""
cleanup() {
    [[ -n "$holder_pid" ]] && kill "$holder_pid" 2>/dev/null && wait "$holder_pid" 2>/dev/null
    timeout 30 wineserver -k 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Polls a command for up to $1 tenths of a second.
wait_for() {
    local tenths=$1
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

if [[ ! -f "$dataset" ]]; then
    echo "== fetching the test database into $dataset"
    mkdir -p "$(dirname "$dataset")" "$work/npm"
    (cd "$work/npm" && timeout 300 npm pack --silent node-adodb@5.0.3 >/dev/null &&
        tar xzf node-adodb-5.0.3.tgz package/examples/node-adodb.mdb)
    cp "$work/npm/package/examples/node-adodb.mdb" "$dataset.part" && mv "$dataset.part" "$dataset"
fi

echo "== display and prefix"
for ((n = 140; n < 200; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if wait_for 100 test -e "/tmp/.X11-unix/X$n" && kill -0 "$xvfb_pid" 2>/dev/null; then
        export DISPLAY=":$n"
        break
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
done
[[ -n "$xvfb_pid" ]] || { echo "FAIL: no display for Xvfb" >&2; exit 1; }
WINEDLLOVERRIDES="mscoree,mshtml=" timeout 180 wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
timeout 10 wineserver -p

drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/bench"
cp "$bin_dir/jet_engine.dll" "$bin_dir/jet_check.exe" "$drive_c/bench/"
regsvr32='regsvr32'
[[ -f "$drive_c/windows/syswow64/regsvr32.exe" ]] && regsvr32='C:\windows\syswow64\regsvr32.exe'

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs jet_check; its first stdout line lands in $result, its stderr in $details.
result=""
details=""
check() {
    timeout 60 wine 'C:\bench\jet_check.exe' "$@" >"$work/out" 2>"$work/err" || true
    result="$(head -n 1 "$work/out" | tr -d '\r')"
    details="$(tr -d '\r' <"$work/err")"
}

expect() {
    local what=$1 wanted=$2
    [[ "$result" == "$wanted" ]] || fail "$what: got '$result', wanted '$wanted'"
}

# Wine has no message text for every COM error, so only the number is compared.
expect_number() {
    local what=$1 wanted=$2
    [[ "$result" == "$wanted" || "$result" == "$wanted "* ]] || fail "$what: got '$result', wanted '$wanted'"
}

# Every refusal comes from the JET engine, is also the thread's error object, and leaks nothing.
expect_engine_error() {
    local what=$1 wanted=$2
    expect "$what" "$wanted"
    local description="${wanted#error 0x???????? }"
    grep -qxF "source: Microsoft JET Database Engine" <<<"$details" || fail "$what: error source: $details"
    grep -qxF "errorinfo: $description" <<<"$details" || fail "$what: error object: $details"
    grep -qxF "unload: ready" <<<"$details" || fail "$what: DLL still in use after release: $details"
}

source_conn() { echo "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$1;Jet OLEDB:Database Password="; }
dest_conn() {
    echo "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=$1;Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password="
}

folder_name='Suite Data Ördner ñ'
folder="$drive_c/$folder_name"
win_folder="C:\\$folder_name"
mkdir -p "$folder"
cp "$dataset" "$folder/suite.mdb"
src="$win_folder\\suite.mdb"
source_hash="$(sha256sum <"$folder/suite.mdb")"

echo "== registration"
check "$(source_conn "$src")" "$(dest_conn "$src.1.tmp")"
expect_number "before registration" "error 0x800401F3"
timeout 60 wine "$regsvr32" /s 'C:\bench\jet_engine.dll' || fail "regsvr32 failed"
clsid='{F747820F-7CD4-4B9A-B6D5-87E720B592E3}'
prog_id="$(timeout 30 wine reg query 'HKCR\Jro.JetEngine\CLSID' /ve /reg:32 | tr -d '\r')"
grep -qF "$clsid" <<<"$prog_id" || fail "ProgID does not name the class: $prog_id"
cur_ver="$(timeout 30 wine reg query 'HKCR\Jro.JetEngine\CurVer' /ve /reg:32 | tr -d '\r')"
grep -qF "Jro.JetEngine.2.6" <<<"$cur_ver" || fail "CurVer: $cur_ver"
server="$(timeout 30 wine reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /reg:32 | tr -d '\r')"
grep -qF 'C:\bench\jet_engine.dll' <<<"$server" || fail "InprocServer32: $server"

echo "== compaction into a folder with blanks and non-ASCII letters"
check "$(source_conn "$src")" "$(dest_conn "$src.417.tmp")"
expect "compaction" "ok"
grep -qxF "unload: ready" <<<"$details" || fail "DLL still in use after a compaction: $details"
copy="$folder/suite.mdb.417.tmp"
if [[ -f "$copy" ]]; then
    [[ "$(sha256sum <"$folder/suite.mdb")" == "$source_hash" ]] || fail "the source changed"
    tables="$(mdb-tables -1 "$folder/suite.mdb")"
    [[ -n "$tables" ]] || fail "mdbtools reads no table in the source"
    [[ "$(mdb-tables -1 "$copy")" == "$tables" ]] || fail "tables differ: $(mdb-tables -1 "$copy")"
    while IFS= read -r table; do
        rows="$(mdb-export "$folder/suite.mdb" "$table")"
        [[ "$(wc -l <<<"$rows")" -gt 1 ]] || fail "table $table has no rows to compare"
        [[ "$(mdb-export "$copy" "$table")" == "$rows" ]] || fail "rows of $table differ"
    done <<<"$tables"
else
    fail "no compacted copy at $copy"
fi

# Keys in any case with blanks around them, and a quoted data source that holds a ';'.
mkdir -p "$folder/a;b"
check " provider = microsoft.jet.oledb.4.0 ; DATA SOURCE = $src ; jet oledb:database password= " \
    "PROVIDER=Microsoft.Jet.OLEDB.4.0;data source=\"$win_folder\\a;b\\copy.mdb\";JET OLEDB:ENGINE TYPE= 5 ;"
expect "connection strings in another spelling" "ok"
cmp -s "$folder/suite.mdb" "$folder/a;b/copy.mdb" || fail "the copy under a quoted path differs from its source"

echo "== an existing destination is never replaced"
echo "keep me" >"$folder/existing.tmp"
check "$(source_conn "$src")" "$(dest_conn "$win_folder\\existing.tmp")"
expect_engine_error "existing file" "error 0x80040E17 Database already exists."
[[ "$(cat "$folder/existing.tmp")" == "keep me" ]] || fail "the existing destination was changed"
mkdir -p "$folder/existing folder"
check "$(source_conn "$src")" "$(dest_conn "$win_folder\\existing folder")"
expect_engine_error "existing folder" "error 0x80040E17 Database already exists."
[[ -d "$folder/existing folder" ]] || fail "the existing folder is gone"

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

timeout 120 wine 'C:\bench\jet_check.exe' hold "$src" 120 >"$work/hold" 2>&1 &
holder_pid=$!
if wait_for 300 grep -q holding "$work/hold"; then
    check "$(source_conn "$src")" "$(dest_conn "$src.5.tmp")"
    expect_engine_error "source in use" "error 0x80004005 Could not use '$src'; file already in use."
else
    fail "the holder did not open the database: $(cat "$work/hold")"
fi
kill "$holder_pid" 2>/dev/null || true
wait "$holder_pid" 2>/dev/null || true
holder_pid=""
check "$(source_conn "$src")" "$(dest_conn "$src.6.tmp")"
expect "the same source once released" "ok"

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

echo "== a copy that fails midway is removed"
# A file size limit below the database's size makes a write fail halfway through the copy.
(
    trap '' XFSZ
    ulimit -f 100
    check "$(source_conn "$src")" "$(dest_conn "$src.12.tmp")"
    echo "$result" >"$work/limited"
)
result="$(cat "$work/limited")"
expect_number "write failure" "error 0x80004005 Could not write '$src.12.tmp':"
[[ ! -e "$folder/suite.mdb.12.tmp" ]] || fail "a partial copy was left behind"

# Only the successful compactions may have left files behind.
leftovers="$(cd "$folder" && find . -name '*.tmp' ! -name 'existing.tmp' | sort | tr '\n' ' ')"
[[ "$leftovers" == "./suite.mdb.417.tmp ./suite.mdb.6.tmp " ]] || fail "files left behind: $leftovers"

echo "== unregistration"
timeout 60 wine "$regsvr32" /s /u 'C:\bench\jet_engine.dll' || fail "regsvr32 /u failed"
check "$(source_conn "$src")" "$(dest_conn "$src.11.tmp")"
expect_number "after unregistration" "error 0x800401F3"

if ((failures)); then
    echo "test_jet_engine: $failures failure(s)" >&2
    exit 1
fi
echo "test_jet_engine: all passed"
