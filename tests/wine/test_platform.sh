#!/usr/bin/env bash
# The Windows platform layer (Win32Platform) under Wine, one operation at a
# time through platform_check.exe: registry reads and their failure wording,
# renames and their numbers, WMI queries and methods (with the Terminate
# fallback), launches and waits, message boxes, the pump, the host name, the
# JET engine object by ProgID.
#
# BUILD_DIR: the Windows build (default build/windows). Exits 0 when
# every check passes, 1 after printing each one that failed.
set -o pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="${BUILD_DIR:-$repo/build/windows}"
check_exe="$build_dir/tests/wine/platform_check/platform_check.exe"
jet_dll="$build_dir/tests/bench/jet_engine/jet_engine.dll"
for f in "$check_exe" "$jet_dll"; do
    [[ -f "$f" ]] || { echo "FAIL: $f is missing; build the windows preset first" >&2; exit 1; }
done

work="$(mktemp -d /tmp/car-platform.XXXXXX)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8
xvfb_pid=""
sleeper_pids=()
cleanup() {
    for pid in "${sleeper_pids[@]}"; do kill "$pid" 2>/dev/null; done
    timeout 30 wineserver -k 2>/dev/null
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect() {  # what got wanted
    [[ "$2" == "$3" ]] || fail "$1: got '$2', wanted '$3'"
}
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
# Through a file, not a pipe: a program it launches inherits the output and
# would keep a pipe open for as long as it runs.
pc() {
    timeout 60 wine 'C:\pc\platform_check.exe' "$@" >"$work/out" 2>/dev/null
    tr -d '\r' <"$work/out"
}

echo "== display and prefix"
for ((n = 200; n < 260; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if wait_for 100 test -e "/tmp/.X11-unix/X$n" && kill -0 "$xvfb_pid" 2>/dev/null; then
        export DISPLAY=":$n"
        break
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
done
[[ -n "$xvfb_pid" ]] || { echo "FAIL: no display for Xvfb" >&2; exit 1; }
WINEDLLOVERRIDES="mscoree,mshtml=" timeout 120 wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
timeout 10 wineserver -p
drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/pc"
cp "$check_exe" "$jet_dll" "$drive_c/pc/"
cp "$check_exe" "$drive_c/pc/sleeper.exe"

echo "== registry"
long_text="$(printf 'Lang %.0s' {1..200})"
# The test values, and X11 settings without which every hidden window (a
# message box closing) stalls its thread for two seconds. UTF-16 with a BOM, so that reg import reads the typed data as such.
{
    printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\PlatformCheck\NoDefault]
"Text"="Grüße aus C:\\Program Files"
"Empty"=""
"Minus"=dword:ffffffff
"Seven"=dword:00000007
"Big"=hex(b):89,67,45,23,01,00,00,00
"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,78,00,00,00
"Multi"=hex(7):61,00,20,00,62,00,00,00,63,00,00,00,00,00
"Binary"=hex:00,ff,10
"Nothing"=hex(0):

[HKEY_LOCAL_MACHINE\Software\PlatformCheck\WithDefault]
@="the default"

[HKEY_LOCAL_MACHINE\Software\PlatformCheck\EmptyDefault]
@=""

[HKEY_CURRENT_USER\Software\PlatformCheck]
"User"="from the user's hive"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"
EOF
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\PlatformCheck\\Long]\n"Long"="%s"\n' "$long_text" |
        iconv -f UTF-8 -t UTF-16LE
} >"$drive_c/pc/values.reg"
timeout 30 wine reg import 'C:\pc\values.reg' /reg:32 >/dev/null 2>&1 || fail "reg import failed"

key='HKEY_LOCAL_MACHINE\Software\PlatformCheck'
missing_key="$key\\Missing\\"
missing_root='HKEY_ERROR\'
no_default="$key\\NoDefault\\"
mapfile -t got < <(pc regread "$missing_key" "$missing_root" "$no_default" "$key\\NoDefault\\Absent" \
    "$key\\WithDefault\\" "$key\\EmptyDefault\\")
expect "missing key" "${got[0]%% *}" "error"
expect "missing key number" "$(cut -d' ' -f2 <<<"${got[0]}")" "0x80070002"
expect "missing root number" "$(cut -d' ' -f2 <<<"${got[1]}")" "0x80070002"
expect "key without default value, number" "$(cut -d' ' -f2 <<<"${got[2]}")" "0x80070002"
missing_wording="${got[0]//"$missing_key"/}"
expect "missing root worded as a missing key, path aside" "${got[1]//"$missing_root"/}" "$missing_wording"
[[ "${got[2]//"$no_default"/}" != "$missing_wording" ]] ||
    fail "a key without default value is worded like a missing key: ${got[2]}"
[[ "${got[0]}" == *"$missing_key"* && "${got[2]}" == *"$no_default"* ]] ||
    fail "descriptions do not name the path: ${got[0]} / ${got[2]}"
expect "missing value" "$(cut -d' ' -f1-2 <<<"${got[3]}")" "error 0x80070002"
expect "default value" "${got[4]}" "text the default"
expect "empty default value" "${got[5]}" "text "

v="$key\\NoDefault"
mapfile -t got < <(pc regread "$v\\Text" "$v\\Empty" "$v\\Minus" "$v\\Seven" "$v\\Big" "$v\\Expand" "$v\\Multi" \
    "$v\\Binary" "$v\\Nothing" 'HKLM\SOFTWARE\platformcheck\NODEFAULT\Seven' 'hkcu\Software\PlatformCheck\User' \
    'HKEY_CURRENT_USER\Software\PlatformCheck\User' 'HKEY_LOCAL_MACHINE\Software' "$key\Long\Long")
expect "REG_SZ" "${got[0]}" 'text Grüße aus C:\Program Files'
expect "empty REG_SZ" "${got[1]}" "text "
expect "REG_DWORD is signed" "${got[2]}" "number -1"
expect "REG_DWORD" "${got[3]}" "number 7"
expect "REG_QWORD" "${got[4]}" "number 4886718345"
expect "REG_EXPAND_SZ expanded" "${got[5]}" 'text C:\windows\x'
expect "REG_MULTI_SZ" "${got[6]}" "texts 2 [a b] [c]"
expect "REG_BINARY" "${got[7]}" "bytes 00 FF 10"
[[ "${got[8]}" == "error 0x8007065E "*"$v\\Nothing"* ]] || fail "REG_NONE: got '${got[8]}'"
expect "short root, any case" "${got[9]}" "number 7"
expect "HKCU short" "${got[10]}" "text from the user's hive"
expect "HKCU long" "${got[11]}" "text from the user's hive"
expect "value named like a key under the root" "$(cut -d' ' -f1-2 <<<"${got[12]}")" "error 0x80070002"
expect "a value longer than the first read" "${got[13]}" "text $long_text"

echo "== files"
folder="$drive_c/Daten Ördner"
win_folder='C:\Daten Ördner'
mkdir -p "$folder"
echo old >"$folder/suite.mdb"
echo new >"$folder/suite.mdb.7.tmp"
expect "move onto an existing file" "$(pc move "$win_folder\\suite.mdb.7.tmp" "$win_folder\\suite.mdb")" \
    "error 0x800A003A File already exists"
expect "existing file untouched" "$(cat "$folder/suite.mdb")" "old"
expect "move of a missing file" "$(pc move "$win_folder\\none.mdb" "$win_folder\\x.mdb")" \
    "error 0x800A0035 File not found"
expect "move into a missing folder" "$(pc move "$win_folder\\suite.mdb" "$win_folder\\no dir\\x.mdb")" \
    "error 0x800A004C Path not found"
expect "rename" "$(pc move "$win_folder\\suite.mdb" "$win_folder\\suite.mdb.7.tmpBackup")" "moved"
expect "renamed content" "$(cat "$folder/suite.mdb.7.tmpBackup" 2>&1)" "old"
[[ ! -e "$folder/suite.mdb" ]] || fail "the renamed file is still under its old name"
expect "exists" "$(pc exists "$win_folder\\suite.mdb.7.tmpBackup" "$win_folder" "$win_folder\\suite.mdb" | tr '\n' ' ')" \
    "true true false "

echo "== WMI"
for i in 1 2; do
    timeout 60 wine 'C:\pc\sleeper.exe' sleep 50000 >/dev/null 2>&1 &
    sleeper_pids+=($!)
done
process_query="SELECT * FROM Win32_Process WHERE Name = 'sleeper.exe'"
count_is() { [[ "$(pc wmi-query "$process_query" | tail -n 1)" == "count $1" ]]; }
wait_for 150 count_is 2 || fail "the two sleepers never showed up: $(pc wmi-query "$process_query")"
mapfile -t got < <(pc wmi-query "$process_query")
for line in "${got[@]:0:2}"; do
    [[ "$line" =~ ^object\ ([0-9]+)\ sleeper\.exe\ .*:Win32_Process\.Handle=\"([0-9]+)\"$ ]] &&
        [[ "${BASH_REMATCH[1]}" == "${BASH_REMATCH[2]}" && "${BASH_REMATCH[1]}" != 0 ]] ||
        fail "process object: '$line'"
done
got="$(pc wmi-method "$process_query" Terminate)"
expect "Terminate on each" "$(grep -c '^called Terminate on sleeper.exe$' <<<"$got")" "2"
sleepers_gone() { ! kill -0 "${sleeper_pids[0]}" 2>/dev/null && ! kill -0 "${sleeper_pids[1]}" 2>/dev/null; }
wait_for 100 sleepers_gone || fail "Terminate left the sleepers running"
wait_for 50 count_is 0 || fail "WMI still lists the sleepers: $(pc wmi-query "$process_query")"

service_query="Select * from Win32_Service Where Name ='Spooler'"
service_pid() { pc wmi-query "$service_query" | sed -n 's/^object \([0-9]*\) Spooler .*:Win32_Service\.Name="Spooler"$/\1/p'; }
service_running() { [[ "$(service_pid)" =~ ^[1-9][0-9]*$ ]]; }
service_stopped() { [[ "$(service_pid)" == 0 ]]; }
expect "StartService" "$(pc wmi-method "$service_query" StartService | tail -n 1)" "count 1"
wait_for 100 service_running || fail "the service did not start: $(pc wmi-query "$service_query")"
got="$(pc wmi-method "$service_query" Terminate | tail -n 1)"
[[ "$got" == "error 0x8004102E "* ]] || fail "Terminate of a service: got '$got'"
service_running || fail "Terminate of a service ended its process"
expect "unknown method" "$(pc wmi-method "$service_query" Frobnicate | tail -n 1 | cut -d' ' -f1-2)" "error 0x8004102E"
expect "StopService" "$(pc wmi-method "$service_query" StopService | tail -n 1)" "count 1"
wait_for 100 service_stopped || fail "the service did not stop: $(pc wmi-query "$service_query")"
expect "StopService of a stopped service" "$(pc wmi-method "$service_query" StopService | tail -n 1)" "count 1"
expect "no such service" "$(pc wmi-query "Select * from Win32_Service Where Name ='Nothing'")" "count 0"
expect "a query WMI refuses" "$(pc wmi-query "SELEKT nothing" | cut -d' ' -f1-2)" "error 0x80041017"
got="$(pc wmi-query "$service_query" 'winmgmts:{impersonationLevel=impersonate}!\\server\root\cimv2')"
[[ "$got" == "error 0x800401E4 "*"local machine"* ]] || fail "remote moniker: got '$got'"
expect "moniker without security part" "$(pc wmi-query "$service_query" 'winmgmts:\\.\root\cimv2' | tail -n 1)" "count 1"

echo "== launch and wait"
for style in 0 1 2; do
    got="$(pc run "platform_check.exe showinfo C:\\pc\\style$style.txt" "$style" 20000 | sed -n 2p)"
    [[ "$got" == "ended after "* ]] || fail "launch in style $style: got '$got'"
    expect "window style $style" "$(cat "$drive_c/pc/style$style.txt" 2>&1)" "flags=1 show=$style"
done
mapfile -t got < <(pc run "platform_check.exe sleep 20000" 1 500)
[[ "${got[0]}" =~ ^pid\ [1-9][0-9]*$ ]] || fail "launch pid: '${got[0]}'"
[[ "${got[1]}" =~ ^timeout\ after\ ([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 450 && BASH_REMATCH[1] < 5000)) ||
    fail "bounded wait for a running program: '${got[1]}'"
expect "still running" "${got[2]}" "await again timeout"
mapfile -t got < <(pc run "platform_check.exe sleep 200" 1 20000 quit-pending)
[[ "${got[1]}" == "ended after "* ]] || fail "wait with WM_QUIT pending: '${got[1]}'"
expect "WM_QUIT kept for the program's loop" "${got[3]}" "quit 3"
expect "a process unknown to the wait" "$(pc await-unknown 12345)" "ended"
expect "a program not found" "$(pc launch 'no_such_program.exe /x' 1 | cut -d' ' -f1-2)" "error 0x80070002"
[[ "$(pc launch 'no_such_program.exe /x' 1)" == *" (no_such_program.exe /x)" ]] ||
    fail "the launch failure does not name its command line"

echo "== messages, pump, clock, common controls"
expect "unowned box" "$(pc message unowned 'Data Source was not a JET driver' | tr '\n' '|')" \
    "box text=Data Source was not a JET driver buttons=OK icon=no owner=none|returned|"
expect "box owned by the shown window" "$(pc message owned 'Ünïcode text' | head -n 1)" \
    "box text=Ünïcode text buttons=OK icon=no owner=window"
expect "box while the window is hidden" "$(pc message hidden-owner 'x' | head -n 1)" \
    "box text=x buttons=OK icon=no owner=none"
expect "pump handles the queue and keeps WM_QUIT" "$(pc pump)" "handled 4 quit 7"
expect "clock" "$(pc clock)" "clock advances"
expect "InitCommonControlsEx" "$(pc commoncontrols 8 0x800)" "true"

echo "== host name and ANSI text"
mapfile -t got < <(pc netparams)
expect "host-name field" "${got[0]}" "field 132"
expect "host name" "${got[1]}" "host $(hostname)"
expect "ANSI bytes with NULs" "$(pc ansi 41 00 e9 80 00)" "chars 0041 0000 00E9 20AC 0000"

echo "== JET engine object"
src_conn='Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\no dir\missing.mdb;Jet OLEDB:Database Password='
dst_conn='Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\pc\out.mdb;Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password='
expect "no JET engine" "$(pc jet "$src_conn" "$dst_conn")" "error 0x800401F3 Invalid class string"
timeout 60 wine regsvr32 /s 'C:\pc\jet_engine.dll' || fail "regsvr32 of the engine stand-in failed"
expect "the engine's exception" "$(pc jet "$src_conn" "$dst_conn")" \
    "error 0x80004005 Could not find file 'C:\\no dir\\missing.mdb'."

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all platform checks passed"
