#!/usr/bin/env bash
# shellcheck disable=SC2016,SC2317 # conditions and functions are handed to bench_wait_until unexpanded
# The Windows platform layer (Win32Platform) under Wine, one operation at a
# time through platform_check.exe: registry reads and their failure wording,
# renames and their numbers, the swap's hard link and removal, files held
# through a handle (their facts, renames through the hold, what no other
# process can do to them, their owner and access list), a folder's entries
# through its hold, the files and folders of a tree and grants through their
# handles, accounts, privileges for a scope, the trusted folder, the
# registry's own view, long names, whether a file is held, path
# facts and free space, WMI queries and methods (with the Terminate fallback),
# processes by name and services
# through the control manager, the system folders, launches and waits, the
# exit code, message boxes, the pump, the host name, the JET engine object by
# ProgID and the engine's time limit, DAO's tables and row counts.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

CHECK_EXE="$BUILD_DIR/tests/wine/platform_check/platform_check.exe"
[[ -f $CHECK_EXE ]] || bench_die "platform_check.exe is not built"

bench_start
drive_c="$WINEPREFIX/drive_c"
mkdir -p "$drive_c/pc"
cp "$CHECK_EXE" "$drive_c/pc/"
cp "$CHECK_EXE" "$drive_c/pc/sleeper.exe"

# Through a file, not a pipe: a program it launches inherits the output and
# would keep a pipe open for as long as it runs.
pc() {
    bench_wine 'C:\pc\platform_check.exe' "$@" >"$BENCH_TMP/pc.out" 2>>"$BENCH_WINE_LOG"
    tr -d '\r' <"$BENCH_TMP/pc.out"
}
# The first two words of a line: "error 0x........" without the wording.
number_of() { cut -d' ' -f1-2 <<<"$1"; }

echo "== registry"
long_text="$(printf 'Lang %.0s' {1..200})"
_bench_reg_import 32 <<EOF
[HKEY_LOCAL_MACHINE\\Software\\PlatformCheck\\NoDefault]
"Text"="Grüße aus C:\\\\Program Files"
"Empty"=""
"Minus"=dword:ffffffff
"Seven"=dword:00000007
"Big"=hex(b):89,67,45,23,01,00,00,00
"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,78,00,00,00
"Multi"=hex(7):61,00,20,00,62,00,00,00,63,00,00,00,00,00
"Binary"=hex:00,ff,10
"Nothing"=hex(0):

[HKEY_LOCAL_MACHINE\\Software\\PlatformCheck\\WithDefault]
@="the default"

[HKEY_LOCAL_MACHINE\\Software\\PlatformCheck\\EmptyDefault]
@=""

[HKEY_LOCAL_MACHINE\\Software\\PlatformCheck\\Long]
"Long"="$long_text"

[HKEY_CURRENT_USER\\Software\\PlatformCheck]
"User"="from the user's hive"
EOF

key='HKEY_LOCAL_MACHINE\Software\PlatformCheck'
missing_key="$key\\Missing\\"
missing_root="HKEY_ERROR\\"
no_default="$key\\NoDefault\\"
mapfile -t got < <(pc regread "$missing_key" "$missing_root" "$no_default" "$key\\NoDefault\\Absent" \
    "$key\\WithDefault\\" "$key\\EmptyDefault\\")
missing=${got[0]:-} root=${got[1]:-} default_less=${got[2]:-}
bench_expect_eq "missing key" "error 0x80070002" "$(number_of "$missing")"
bench_expect_eq "missing root" "error 0x80070002" "$(number_of "$root")"
bench_expect_eq "key without default value" "error 0x80070002" "$(number_of "$default_less")"
missing_wording="${missing//"$missing_key"/}"
bench_expect_eq "missing root worded as a missing key, path aside" "$missing_wording" "${root//"$missing_root"/}"
bench_expect_not "a key without default value is worded unlike a missing key" \
    test "${default_less//"$no_default"/}" == "$missing_wording"
bench_expect "the missing key's description names its path" grep -qF -- "$missing_key" <<<"$missing"
bench_expect "the default-less key's description names its path" grep -qF -- "$no_default" <<<"$default_less"
bench_expect_eq "missing value" "error 0x80070002" "$(number_of "${got[3]:-}")"
bench_expect_eq "default value" "text the default" "${got[4]:-}"
bench_expect_eq "empty default value" "text " "${got[5]:-}"

v="$key\\NoDefault"
mapfile -t got < <(pc regread "$v\\Text" "$v\\Empty" "$v\\Minus" "$v\\Seven" "$v\\Big" "$v\\Expand" "$v\\Multi" \
    "$v\\Binary" "$v\\Nothing" 'HKLM\SOFTWARE\platformcheck\NODEFAULT\Seven' 'hkcu\Software\PlatformCheck\User' \
    'HKEY_CURRENT_USER\Software\PlatformCheck\User' 'HKEY_LOCAL_MACHINE\Software' "$key\Long\Long")
bench_expect_eq "REG_SZ" 'text Grüße aus C:\Program Files' "${got[0]:-}"
bench_expect_eq "empty REG_SZ" "text " "${got[1]:-}"
bench_expect_eq "REG_DWORD is signed" "number -1" "${got[2]:-}"
bench_expect_eq "REG_DWORD" "number 7" "${got[3]:-}"
bench_expect_eq "REG_QWORD" "number 4886718345" "${got[4]:-}"
bench_expect_eq "REG_EXPAND_SZ expanded" 'text C:\windows\x' "${got[5]:-}"
bench_expect_eq "REG_MULTI_SZ" "texts 2 [a b] [c]" "${got[6]:-}"
bench_expect_eq "REG_BINARY" "bytes 00 FF 10" "${got[7]:-}"
bench_expect_eq "REG_NONE is refused" "error 0x8007065E" "$(number_of "${got[8]:-}")"
bench_expect "the REG_NONE refusal names the value" grep -qF -- "$v\\Nothing" <<<"${got[8]:-}"
bench_expect_eq "short root, any case" "number 7" "${got[9]:-}"
bench_expect_eq "HKCU short" "text from the user's hive" "${got[10]:-}"
bench_expect_eq "HKCU long" "text from the user's hive" "${got[11]:-}"
bench_expect_eq "value named like a key under the root" "error 0x80070002" "$(number_of "${got[12]:-}")"
bench_expect_eq "a value longer than the first read" "text $long_text" "${got[13]:-}"

echo "== files"
win_folder='C:\Daten Ördner'
folder=$(bench_unix_path "$win_folder")
mkdir -p "$folder"
echo old >"$folder/suite.mdb"
echo new >"$folder/suite.mdb.7.tmp"
bench_expect_eq "move onto an existing file" "error 0x800A003A File already exists" \
    "$(pc move "$win_folder\\suite.mdb.7.tmp" "$win_folder\\suite.mdb")"
bench_expect_eq "existing file untouched" "old" "$(cat "$folder/suite.mdb")"
bench_expect_eq "move of a missing file" "error 0x800A0035 File not found" \
    "$(pc move "$win_folder\\none.mdb" "$win_folder\\x.mdb")"
bench_expect_eq "move into a missing folder" "error 0x800A004C Path not found" \
    "$(pc move "$win_folder\\suite.mdb" "$win_folder\\no dir\\x.mdb")"
bench_expect_eq "rename" "moved" "$(pc move "$win_folder\\suite.mdb" "$win_folder\\suite.mdb.7.tmpBackup")"
bench_expect_eq "renamed content" "old" "$(cat "$folder/suite.mdb.7.tmpBackup" 2>&1)"
bench_expect_not "the renamed file is gone from its old name" test -e "$folder/suite.mdb"
bench_expect_eq "exists" "true true false " \
    "$(pc exists "$win_folder\\suite.mdb.7.tmpBackup" "$win_folder" "$win_folder\\suite.mdb" | tr '\n' ' ')"
truncate -s 4294967301 "$folder/big.mdb" # sparse: past 4 GiB, the size's high half counts
bench_expect_eq "pathInfo of a file, a folder, a missing path" "file 4294967301|folder 0|missing 0|" \
    "$(pc info "$win_folder\\big.mdb" "$win_folder" "$win_folder\\suite.mdb" | tr '\n' '|')"
bench_expect "free space of a folder" grep -qE '^free [1-9][0-9]*$' <<<"$(pc free "$win_folder")"
bench_expect_eq "free space of a missing folder" "error 0x80070002" "$(number_of "$(pc free "$win_folder\\none")")"

echo "== the swap's second name, replacing rename through a hold and removal, files in use"
echo old >"$folder/swap.mdb"
echo new >"$folder/swap.mdb.3.tmp"
bench_expect_eq "a second name" "linked" "$(pc link "$win_folder\\swap.mdb" "$win_folder\\swap.mdb.3.tmpBackup")"
bench_expect "both names are one file" test "$(stat -c %i "$folder/swap.mdb")" == "$(stat -c %i "$folder/swap.mdb.3.tmpBackup")"
bench_expect_eq "a second name that is taken" "error 0x800700B7" \
    "$(number_of "$(pc link "$win_folder\\swap.mdb" "$win_folder\\swap.mdb.3.tmp")")"
bench_expect_eq "a replacing rename through a hold" "renamed file none names 1 its volume" \
    "$(pc held-rename "$win_folder\\swap.mdb.3.tmp" "$win_folder\\swap.mdb" replace)"
bench_expect_eq "the new file under the name, the old under the second name, no copy left" "new old false" \
    "$(cat "$folder/swap.mdb") $(cat "$folder/swap.mdb.3.tmpBackup") $(pc exists "$win_folder\\swap.mdb.3.tmp")"
bench_expect_eq "removal of a name" "deleted false" \
    "$(pc delete "$win_folder\\swap.mdb.3.tmpBackup") $(pc exists "$win_folder\\swap.mdb.3.tmpBackup")"
bench_expect_eq "removal of a missing file" "error 0x80070002" "$(number_of "$(pc delete "$win_folder\\none.mdb")")"
bench_expect_eq "a file nobody holds is free" "free" "$(pc in-use "$win_folder\\swap.mdb")"
bench_start_program Holder.exe --hold "$win_folder\\swap.mdb" >/dev/null
bench_expect_eq "a held file is in use" "in use" "$(pc in-use "$win_folder\\swap.mdb")"
bench_expect_eq "nor can the run hold it (no delete sharing)" "error 0x80070020" \
    "$(number_of "$(pc held "$win_folder\\swap.mdb")")"
# Wine's Restart Manager names nobody; the question must still be answered.
bench_expect "the holders can be asked for" grep -qE '^holders [0-9]+$' <<<"$(pc holders "$win_folder\\swap.mdb")"
bench_probe kill Holder.exe >/dev/null
bench_expect "once its holder ends, the file is free" \
    bench_wait_until '[[ $(pc in-use "$win_folder\\swap.mdb") == free ]]' 10

echo "== a folder held for a run, a log opened once"
mkdir -p "$folder/held"
bench_expect_eq "a held folder cannot be renamed, while work inside it goes on" \
    "held none|work inside goes on|rename refused while held|renamed after|" \
    "$(pc hold "$win_folder\\held" "$win_folder\\moved" | tr '\n' '|')"
bench_expect_eq "a log opened once takes every line" "reparse no names 1|" \
    "$(pc append "$win_folder\\run.log" "first" "zwéite" | tr '\n' '|')"
bench_expect_eq "the lines in UTF-8, each ended by CR LF" $'first\r\nzwéite\r' "$(cat "$folder/run.log")"
ln "$folder/run.log" "$folder/second name.log"
bench_expect_eq "a log with a second name says so" "reparse no names 2" \
    "$(pc append "$win_folder\\run.log")"

echo "== files held by the run, their owner and access list, reparse points, long names"
held="$win_folder\\held.mdb"
echo held >"$folder/held.mdb"
bench_expect "a held file and a held folder" \
    grep -qE '^file none names 1 its volume\|folder none names [0-9]+ its volume\|$' \
    <<<"$(pc held "$held" "$win_folder" | tr '\n' '|')"
bench_expect_eq "a second name shows through the hold" "names 1|names 2|" \
    "$(pc held-link "$held" "$win_folder\\held two.mdb" | tr '\n' '|')"
rm "$folder/held two.mdb"
echo taken >"$folder/taken.mdb"
bench_expect_eq "a rename through the hold onto a taken name" "error 0x800700B7" \
    "$(number_of "$(pc held-rename "$held" "$win_folder\\taken.mdb" keep)")"
bench_expect_eq "both files untouched" "held taken" "$(cat "$folder/held.mdb") $(cat "$folder/taken.mdb")"
bench_expect_eq "a rename through the hold" "renamed file none names 1 its volume|false|held" \
    "$(pc held-rename "$held" "$win_folder\\renamed.mdb" keep)|$(pc exists "$held")|$(cat "$folder/renamed.mdb")"
bench_wine 'C:\pc\platform_check.exe' held-until "$win_folder\\renamed.mdb" "$win_folder\\stop" \
    >"$BENCH_TMP/holder.out" 2>>"$BENCH_WINE_LOG" &
holder=$!
bench_expect "another process holds the file" bench_wait_until 'grep -q held "$BENCH_TMP/holder.out"' 20
bench_expect_eq "while held, no other process renames or deletes it" "error 0x80070020|error 0x80070020" \
    "$(number_of "$(pc move "$win_folder\\renamed.mdb" "$win_folder\\away.mdb")")|$(
        number_of "$(pc delete "$win_folder\\renamed.mdb")")"
touch "$folder/stop"
bench_expect "the hold ends" wait "$holder"
bench_expect_eq "let go, it can be renamed" "moved" "$(pc move "$win_folder\\renamed.mdb" "$win_folder\\away.mdb")"

# Wine keeps no access list of its own: it turns one into the Unix mode and
# makes one up from the mode, everyone's entry from the bits for others.
echo x >"$folder/open.mdb" && chmod 666 "$folder/open.mdb"
echo x >"$folder/closed.mdb" && chmod 600 "$folder/closed.mdb"
others_write_bit() { echo $(($(stat -c %#a "$1") & 2)); }
bench_expect_eq "a file given the owner and access list of one that only its owner may write" "given|0" \
    "$(pc give-security "$win_folder\\closed.mdb" "$win_folder\\open.mdb")|$(others_write_bit "$folder/open.mdb")"
mkdir -p "$folder/Lange Namen des Ordners"
echo x >"$folder/Lange Namen des Ordners/suite database.mdb"
long="$win_folder\\Lange Namen des Ordners\\suite database.mdb"
mapfile -t got < <(pc long-name "$long")
bench_expect "a short name" grep -q '~' <<<"${got[0]:-}"
bench_expect_eq "its long name" "long $long" "${got[1]:-}"
bench_expect_eq "a name that is not there stays as it is" "long C:\\NO~1\\X" "$(pc long-name 'C:\NO~1\X' | sed -n 2p)"

echo "== a folder's entries through its hold, the files and folders of a tree, grants through holds"
# Wine 8 makes no junctions or symbolic links of its own. A Unix link to a
# folder is listed as a reparse point, and opening follows it even when told
# not to: the handle is on the target, whose number the listing gives too. A
# Unix link to a file looks like the file itself.
tree="$folder/tree"
mkdir -p "$tree/sub/inner" "$folder/elsewhere"
echo x >"$tree/file.mdb" && ln "$tree/file.mdb" "$tree/second.mdb" && ln -s file.mdb "$tree/filelink"
echo y >"$tree/sub/inner/deep.mdb" && echo z >"$tree/sub/own.mdb" && ln -s ../elsewhere "$tree/link"
ino() { stat -L -c %i "$tree/$1"; }
listed=$(pc list held "$win_folder\\tree" | paste -sd '|')
bench_expect_eq "a folder's entries through its hold, each opened in the tree with the number the listing gives" \
    "file.mdb file plain $(ino file.mdb) | opened none file same id|filelink file plain $(ino file.mdb) | opened none file same id|link folder reparse $(ino link) | opened none folder same id|second.mdb file plain $(ino file.mdb) | opened none file same id|sub folder plain $(ino sub) | opened none folder same id|entries 5 ids 3" \
    "$listed"
bench_expect_eq "the same through the folder opened in the tree" "$listed" "$(pc list tree "$win_folder\\tree\\" | paste -sd '|')"
deep="$win_folder\\deep"
for i in 1 2 3 4 5 6; do deep+="\\$(printf 'Ordner%.0s' {1..8})$i"; done
mkdir -p "$(bench_unix_path "$deep")" && echo x >"$(bench_unix_path "$deep")/deepest.mdb"
bench_expect "a folder deeper than the usual limit of a path, opened and listed" \
    grep -q "^deepest.mdb file plain [0-9]* | opened none file same id|entries 1 ids 1$" <<<"$(pc list tree "$deep" | paste -sd '|')"
bench_expect_eq "a folder opened in the tree keeps its name, a file does not" "rename refused|renamed while open" \
    "$(pc open-rename "$win_folder\\tree\\sub\\inner" "$win_folder\\tree\\moved")|$(
        pc open-rename "$win_folder\\tree\\second.mdb" "$win_folder\\tree\\moved.mdb")"
acl() { pc acl "$@" | paste -sd '|'; }
children=("$win_folder\\tree\\sub\\inner" "$win_folder\\tree\\sub\\own.mdb" "$win_folder\\tree\\sub\\inner\\deep.mdb")
file_before=$(acl "$win_folder\\tree\\file.mdb") sub_before=$(acl "$win_folder\\tree\\sub")
children_before=$(acl "${children[@]}")
# Of an entry for anyone but the owner and SYSTEM Wine keeps only Everyone's,
# as the bits for others: read and run before, all but the list and the owner after.
bench_expect_eq "a grant through a held file" "granted|${file_before/;0x1200a9;;;WD/;0x1301ff;;;WD}" \
    "$(pc grant held-file "$win_folder\\tree\\file.mdb" plain S-1-1-0)|$(acl "$win_folder\\tree\\file.mdb")"
bench_expect_eq "a grant through a held folder, for what is made inside too" \
    "granted|${sub_before/;0x1200a9;;;WD/;0x1301ff;;;WD}" \
    "$(pc grant held-folder "$win_folder\\tree\\sub" inherited S-1-5-32-545 S-1-1-0)|$(acl "$win_folder\\tree\\sub")"
bench_expect_eq "nothing below the folder changed with it" "$children_before" "$(acl "${children[@]}")"
inner_before=${children_before%%|*}
bench_expect_eq "a grant through a folder opened in the tree" "granted|${inner_before/;0x1200a9;;;WD/;0x1301ff;;;WD}" \
    "$(pc grant tree "$win_folder\\tree\\sub\\inner" plain S-1-1-0)|$(acl "$win_folder\\tree\\sub\\inner")"
bench_expect_eq "a grant to what is no SID" "error 0x80070539" \
    "$(number_of "$(pc grant tree "$win_folder\\tree\\file.mdb" plain S-1-x)")"

echo "== accounts, privileges, the trusted folder, the registry's own view"
# Wine knows the built-in groups, not IIS's accounts and groups.
bench_expect_eq "accounts by SID" "BUILTIN\\Administrators|S-1-5-32-544 BUILTIN\\Users|S-1-5-32-545 none none none none" \
    "$(pc sid S-1-5-32-544 S-1-5-32-545 S-1-5-32-568 S-1-5-17 S-1-5-21-1-2-3-4 no-sid | paste -sd ' ')"
bench_expect_eq "accounts by name, named as the system names them" \
    "BUILTIN\\Administrators|S-1-5-32-544 BUILTIN\\Users|S-1-5-32-545 Everyone|S-1-1-0 none none none" \
    "$(pc account administrators USERS everyone ASPNET IIS_WPG "IUSR_$(hostname)" | paste -sd ' ')"
for privilege in debug restore; do
    bench_expect_eq "the $privilege privilege, disabled but in its scope (and in a program started there)" \
        "before off child off|inside on child on|after a nested scope on|after off child off" \
        "$(pc privilege "$privilege" | paste -sd '|')"
done

trusted="$drive_c/ProgramData/Compact And Repair"
trusted_win='C:\ProgramData\Compact And Repair'
refusal="error 0x80070005 The folder $trusted_win cannot be trusted with the program's data:"
mapfile -t got < <(pc trusted)
bench_expect_eq "the trusted folder made and held" "held $trusted_win|rename refused while held" \
    "${got[0]:-}|${got[2]:-}"
# Wine reads every owner back as the token's default owner, which the run
# trusts as its own; the writers are SYSTEM and that same account.
own="${got[5]#own }"
bench_expect "owned by an account of the program's own ($own)" grep -qF "${got[3]#owner }" <<<"$own"
# Wine sets the Unix mode from the list a folder is made with, and passes
# nothing on from the parent, protected or not: the others' bits are off only
# when the folder is made with a list of its own.
bench_expect_eq "made for SYSTEM and the administrators alone" "0" "$(($(stat -c %#a "$trusted") & 7))"
bench_expect_eq "held again" "held $trusted_win" "$(pc trusted | head -n 1)"
pc grant tree "$trusted_win" plain S-1-1-0 >/dev/null
bench_expect "Everyone among the writers once it may write" grep -q '^writers .*S-1-1-0' <<<"$(pc trusted)"
chmod 750 "$trusted" && chown 65534 "$trusted"
bench_expect "another account's owner read back (ANONYMOUS LOGON under Wine)" grep -qx 'owner S-1-5-7' \
    <<<"$(pc trusted)"
chown 0 "$trusted" && mv "$trusted" "$trusted.away" && ln -s "$trusted.away" "$trusted"
bench_expect_eq "refused when it is a link" "$refusal it is a junction or a link to another place." "$(pc trusted)"
rm "$trusted" && echo x >"$trusted"
bench_expect_eq "refused when it is a file" "$refusal it is a file, not a folder." "$(pc trusted)"

if [[ $(cat "$BENCH_TEMPLATE/arch" 2>/dev/null) == win64 ]]; then
    bench_reg add 'HKLM\Software\PlatformCheck' /v Native /d 'the 64-bit view' /f /reg:64 >/dev/null
    bench_expect_eq "a value of the 64-bit view, read in the process's own and in the system's" \
        "error 0x80070002|text the 64-bit view|error 0x80070002" \
        "$(number_of "$(pc regread 'HKLM\Software\PlatformCheck\Native')")|$(
            pc regread-native 'HKLM\Software\PlatformCheck\Native')|$(
            number_of "$(pc regread-native 'HKLM\Software\PlatformCheck\NoDefault\Seven')")"
fi

echo "== WMI"
# Each sleeper is a job of this shell's, which ends with its wine process:
# the end shows from outside as well as through WMI.
sleeper_pids=()
for _ in 1 2; do
    bench_wine 'C:\pc\sleeper.exe' sleep 50000 >/dev/null 2>&1 &
    sleeper_pids+=($!)
done
process_query="SELECT * FROM Win32_Process WHERE Name = 'sleeper.exe'"
count_is() { [[ "$(pc wmi-query "$process_query" | tail -n 1)" == "count $1" ]]; }
bench_expect "WMI lists the two sleepers" bench_wait_until 'count_is 2' 15
# "object PID NAME PATH": the id is the one the object's path names.
is_process_object() {
    [[ $1 =~ ^object\ ([0-9]+)\ sleeper\.exe\ .*:Win32_Process\.Handle=\"([0-9]+)\"$ ]] &&
        [[ ${BASH_REMATCH[1]} == "${BASH_REMATCH[2]}" && ${BASH_REMATCH[1]} != 0 ]]
}
mapfile -t got < <(pc wmi-query "$process_query")
bench_expect "the first object's id is the one its path names" is_process_object "${got[0]:-}"
bench_expect "the second object's id is the one its path names" is_process_object "${got[1]:-}"
ids_of() { sed -n "s/^$1 \([0-9]*\).*/\1/p" | sort -n | tr '\n' ' '; }
bench_expect_eq "the snapshot finds the sleepers WMI lists, by a name in another case" \
    "$(printf '%s\n' "${got[@]}" | ids_of object)" "$(pc processes SLEEPER.EXE | ids_of pid)"
own_listed() { local text own; text=$(pc processes Platform_Check.exe) && own=$(ids_of own <<<"$text") &&
    [[ -n $own ]] && [[ " $(ids_of pid <<<"$text")" == *" $own"* ]]; }
bench_expect "the snapshot lists the program's own process" own_listed
bench_expect "each process's program file, in full" grep -qx "pid [0-9]* C:\\\\pc\\\\sleeper.exe" \
    <<<"$(pc processes sleeper.exe)"
text="$(pc wmi-method "$process_query" Terminate)"
bench_expect_eq "Terminate on each" "2" "$(grep -c '^called Terminate on sleeper.exe$' <<<"$text")"
bench_expect "Terminate leaves the debug privilege as it found it" grep -qx 'debug privilege off' <<<"$text"
sleepers_gone() { ! kill -0 "${sleeper_pids[0]}" 2>/dev/null && ! kill -0 "${sleeper_pids[1]}" 2>/dev/null; }
bench_expect "Terminate ended the sleepers' processes" bench_wait_until sleepers_gone 10
bench_expect "WMI lists no sleeper afterwards" bench_wait_until 'count_is 0' 5
bench_expect_eq "nor does the snapshot" "0" "$(pc processes sleeper.exe | grep -c '^pid')"
read -r _ gone_pid _ gone_path <<<"${got[0]:-}"
text="$(pc wmi-call "$gone_path" "$gone_pid" Terminate)"
bench_expect_eq "Terminate of a process that has ended since the query" "error 0x80041002" "$(number_of "$text")"
bench_expect "the failure says which process has ended" grep -qF "process $gone_pid has already ended" <<<"$text"

echo "== asked to close"
# The fixture as a program has a hidden window: it closes when asked and lets
# go of its file, unless told to ignore the request. A program without a
# window of its own (a sleeper) cannot be asked.
echo data >"$drive_c/pc/closing.mdb"
closer=$(bench_start_program Closer.exe --hold 'C:\pc\closing.mdb')
ignorer=$(bench_start_program Ignorer.exe --ignore-close)
bench_wine 'C:\pc\sleeper.exe' sleep 50000 >/dev/null 2>&1 &
sleeper_job=$!
bench_expect "the sleeper runs" bench_wait_until '[[ -n $(pc processes sleeper.exe | ids_of pid) ]]' 15
sleeper=$(pc processes sleeper.exe | ids_of pid | tr -d ' ')
text="$(pc ask-close "$closer" "$ignorer" "$sleeper")"
bench_expect_eq "asked: the closer closes, the ignorer stays, the windowless one cannot be asked" \
    "$closer asked ended|$ignorer asked running|$sleeper not-asked running" "$(paste -sd'|' <<<"$text")"
bench_expect_eq "the closer let go of its file" "opened" "$(bench_probe try-open 'C:\pc\closing.mdb' read | tr -d '\r')"
bench_expect_eq "this program itself is never asked" "not-asked running" \
    "$(pc ask-close 0 | cut -d' ' -f2-)"
kill "$sleeper_job" 2>/dev/null
bench_probe kill Ignorer.exe >/dev/null 2>&1 || true

service_query="Select * from Win32_Service Where Name ='Spooler'"
service_pid() { pc wmi-query "$service_query" | sed -n 's/^object \([0-9]*\) Spooler .*:Win32_Service\.Name="Spooler"$/\1/p'; }
service_running() { [[ "$(service_pid)" =~ ^[1-9][0-9]*$ ]]; }
service_stopped() { [[ "$(service_pid)" == 0 ]]; }
bench_expect_eq "StartService" "count 1" "$(pc wmi-method "$service_query" StartService | tail -n 1)"
bench_expect "the service started" bench_wait_until service_running 10
bench_expect_eq "a running service's State" "state Running" "$(pc wmi-state "$service_query")"
bench_expect_eq "Terminate of a service is refused" "error 0x8004102E" \
    "$(number_of "$(pc wmi-method "$service_query" Terminate | tail -n 1)")"
bench_expect "Terminate of a service leaves its process running" service_running
bench_expect_eq "unknown method" "error 0x8004102E" \
    "$(number_of "$(pc wmi-method "$service_query" Frobnicate | tail -n 1)")"
bench_expect_eq "StopService" "count 1" "$(pc wmi-method "$service_query" StopService | tail -n 1)"
bench_expect "the service stopped" bench_wait_until service_stopped 10
bench_expect_eq "a stopped service's State" "state Stopped" "$(pc wmi-state "$service_query")"
bench_expect_eq "StopService of a stopped service" "count 1" \
    "$(pc wmi-method "$service_query" StopService | tail -n 1)"
bench_expect_eq "a direct stop of a stopped service" "stop asked" "$(pc service-stop Spooler)"
pc wmi-method "$service_query" StartService >/dev/null
bench_expect "the service started again" bench_wait_until service_running 10
bench_expect_eq "a running service's active dependents" "dependents 0" "$(pc dependents Spooler)"
bench_expect_eq "a direct stop" "stop asked" "$(pc service-stop Spooler)"
bench_expect "the service stopped through the control manager" bench_wait_until service_stopped 10
bench_expect_eq "a direct stop of no such service" "error 0x80070424" "$(number_of "$(pc service-stop Nothing)")"
bench_expect_eq "no such service has no dependents" "dependents 0" "$(pc dependents Nothing)"
bench_expect_eq "no such service" "count 0" "$(pc wmi-query "Select * from Win32_Service Where Name ='Nothing'")"
bench_expect_eq "a query WMI refuses" "error 0x80041017" "$(number_of "$(pc wmi-query "SELEKT nothing")")"
text="$(pc wmi-query "$service_query" 'winmgmts:{impersonationLevel=impersonate}!\\server\root\cimv2')"
bench_expect_eq "remote moniker" "error 0x800401E4" "$(number_of "$text")"
bench_expect "the remote moniker's refusal speaks of the local machine" grep -qF "local machine" <<<"$text"
bench_expect_eq "moniker without security part" "count 1" \
    "$(pc wmi-query "$service_query" 'winmgmts:\\.\root\cimv2' | tail -n 1)"

echo "== system folders"
native='C:\windows\system32'
[[ $(cat "$BENCH_TEMPLATE/arch" 2>/dev/null) == win64 ]] && native='C:\windows\Sysnative'
bench_expect_eq "system folders" "C:\windows|C:\windows\system32|$native" "$(pc folders)"

echo "== launch and wait, the exit code"
app='C:\pc\platform_check.exe'
for style in 0 1 2; do
    text="$(pc run "$app" "platform_check.exe showinfo C:\\pc\\style$style.txt" '' "$style" 20000 | sed -n 2p)"
    bench_expect_eq "launch in style $style ends" "ended after" "${text% *}"
    bench_expect_eq "window style $style" "flags=1 show=$style" "$(cat "$drive_c/pc/style$style.txt" 2>&1)"
done
pid_line() { [[ $1 =~ ^pid\ [1-9][0-9]*$ ]]; }
# "timeout after MS" with MS at least the wait asked for, and not far above.
bounded_wait() { [[ $1 =~ ^timeout\ after\ ([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 450 && BASH_REMATCH[1] < 5000)); }
mapfile -t got < <(pc run "$app" "platform_check.exe sleep 20000" '' 1 500)
bench_expect "launch gives a pid" pid_line "${got[0]:-}"
bench_expect "bounded wait for a running program" bounded_wait "${got[1]:-}"
bench_expect_eq "still running" "await again timeout" "${got[2]:-}"
mapfile -t got < <(pc run "$app" "platform_check.exe sleep 200" '' 1 20000 quit-pending)
text=${got[1]:-}
bench_expect_eq "wait with WM_QUIT pending ends" "ended after" "${text% *}"
bench_expect_eq "WM_QUIT kept for the program's loop" "quit 3" "${got[3]:-}"
bench_expect_eq "a process unknown to the wait" "ended" "$(pc await-unknown 12345)"
text="$(pc launch 'C:\pc\no_such_program.exe' 'no_such_program.exe /x' '' 1)"
bench_expect_eq "a program not found" "error 0x80070002" "$(number_of "$text")"
bench_expect "the launch failure names its command line" grep -qE ' \(no_such_program\.exe /x\)$' <<<"$text"
# The command line's program name is searched nowhere; the child's relative
# file lands in the current folder it was given, not in this one.
mkdir -p "$drive_c/pc/sub dir"
(cd "$BENCH_TMP" && pc run "$app" 'not_searched.exe showinfo here.txt' 'C:\pc\sub dir' 0 20000 >/dev/null)
bench_expect_eq "launch of a named program in a given folder" "flags=1 show=0" \
    "$(cat "$drive_c/pc/sub dir/here.txt" 2>&1)"
bench_wine "$app" exit 3 >/dev/null 2>>"$BENCH_WINE_LOG"
bench_expect_eq "endProgram's exit code" 3 "$?"

echo "== messages, pump, clock, common controls"
bench_expect_eq "unowned box" "box text=Data Source was not a JET driver buttons=OK icon=no owner=none|returned|" \
    "$(pc message unowned 'Data Source was not a JET driver' | tr '\n' '|')"
bench_expect_eq "box owned by the shown window" "box text=Ünïcode text buttons=OK icon=no owner=window" \
    "$(pc message owned 'Ünïcode text' | head -n 1)"
bench_expect_eq "box while the window is hidden" "box text=x buttons=OK icon=no owner=none" \
    "$(pc message hidden-owner 'x' | head -n 1)"
bench_expect_eq "a Yes/No box nobody answers is answered No by itself once its time is up" "no by itself" \
    "$(pc ask-limited 300)"
bench_expect_eq "pump handles the queue and keeps WM_QUIT" "handled 4 quit 7" "$(pc pump)"
bench_expect_eq "clock" "clock advances" "$(pc clock)"
bench_expect_eq "InitCommonControlsEx" "true" "$(pc commoncontrols 8 0x800)"

echo "== host name and ANSI text"
mapfile -t got < <(pc netparams)
bench_expect_eq "host-name field" "field 132" "${got[0]:-}"
bench_expect_eq "host name" "host $(hostname)" "${got[1]:-}"
bench_expect_eq "ANSI bytes with NULs" "chars 0041 0000 00E9 20AC 0000" "$(pc ansi 41 00 e9 80 00)"

echo "== JET engine object"
# The template registered the stand-in; take it away first to see the
# ProgID fail as it does on a machine without JET, then register it again.
regsvr32='C:\windows\system32\regsvr32.exe'
[[ -d $drive_c/windows/syswow64 ]] && regsvr32='C:\windows\syswow64\regsvr32.exe'
engine='C:\bench\bin\jet_engine.dll'
src_conn='Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\no dir\missing.mdb;Jet OLEDB:Database Password='
dst_conn='Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\pc\out.mdb;Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password='
bench_expect "regsvr32 /u of the engine stand-in" bench_wine "$regsvr32" /s /u "$engine"
bench_expect_eq "no JET engine" "error 0x800401F3 Invalid class string" "$(pc jet "$src_conn" "$dst_conn")"
bench_expect "regsvr32 of the engine stand-in" bench_wine "$regsvr32" /s "$engine"
bench_expect_eq "the engine's exception" "error 0x80004005 Could not find file 'C:\\no dir\\missing.mdb'." \
    "$(pc jet "$src_conn" "$dst_conn")"

echo "== the engine's time limit"
bench_database 'C:\pc\slow.mdb'
slow_src='Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\pc\slow.mdb;Jet OLEDB:Database Password='
slow_dst() {
    echo "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\pc\\$1;Jet OLEDB:Engine Type=5;Jet OLEDB:Database Password="
}
# The stand-in spreads the copy over 20 s; the engine has 2 s.
mapfile -t got < <(BENCH_JET_COMPACT_MS=20000 pc compact-limit "$slow_src" "$(slow_dst slow.1.tmp)" 2000)
bench_expect_eq "an engine past its limit" \
    "timed out error 0x800705B4 The JET engine did not finish compacting within 1 minute and was ended." "${got[0]:-}"
soon_after_limit() { [[ $1 =~ ^after\ ([0-9]+)$ ]] && ((BASH_REMATCH[1] >= 2000 && BASH_REMATCH[1] < 8000)); }
bench_expect "reported soon after its limit" soon_after_limit "${got[1]:-}"
bench_expect_eq "its process gone once that is reported" "engines 0" "${got[2]:-}"
mapfile -t got < <(BENCH_JET_COMPACT_MS=1500 pc compact-limit "$slow_src" "$(slow_dst slow.2.tmp)" 600000)
bench_expect_eq "an engine within its limit" "compacted|engines 0" "${got[0]:-}|${got[2]:-}"
bench_expect "its copy is the source's" cmp -s "$drive_c/pc/slow.mdb" "$drive_c/pc/slow.2.tmp"

echo "== DAO"
dao_db='C:\pc\dao.mdb'
bench_database "$dao_db"
dataset=$(bench_fetch_dataset)
# The DAO stand-in's library as the template registered it, if it did, for
# registering it again once the checks without DAO are done.
dao_server=""
dao_clsid=$(bench_reg query 'HKCR\DAO.DBEngine.36\CLSID' /ve /reg:32 2>/dev/null | grep -o '{[^}]*}')
[[ -n $dao_clsid ]] && dao_server=$(bench_reg query "HKCR\\CLSID\\$dao_clsid\\InprocServer32" /ve /reg:32 2>/dev/null |
    sed -n 's/^ *(Default) *REG_[A-Z_]* *//p')
bench_expect_eq "a table name with a closing bracket is refused before DAO is asked" "error 0x80070057" \
    "$(number_of "$(pc dao-count "$dao_db" 'a]b')")"
bench_reg delete 'HKCR\DAO.DBEngine.36' /f /reg:32 >/dev/null 2>&1
bench_expect_eq "no DAO: its ProgID unknown" "dao missing 0x800401F3 Invalid class string" "$(pc dao-tables "$dao_db")"
_bench_reg_import 32 <<EOF
[HKEY_CLASSES_ROOT\\DAO.DBEngine.36\\CLSID]
@="{0BADDA0B-0000-4000-8000-000000000036}"
EOF
bench_expect_eq "no DAO: its ProgID names a class nobody registered" \
    "dao missing 0x80040154 Class not registered" "$(pc dao-count "$dao_db" Users)"
bench_reg delete 'HKCR\DAO.DBEngine.36' /f /reg:32 >/dev/null 2>&1

if ! compgen -G "$BUILD_DIR/tests/bench/dao_engine/*.dll" >/dev/null; then
    echo "skip - the DAO stand-in is not built: DAO's own answers go unchecked"
else
    bench_expect "the template registers the DAO stand-in" test -n "$dao_server"
    bench_expect "regsvr32 of the DAO stand-in" bench_wine "$regsvr32" /s "$dao_server"
    renamed='C:\pc\dao renamed.mdb'
    mapfile -t got < <(pc dao-tables "$dao_db" then-rename "$renamed")
    # "NAME|ROWS" of each table DAO lists, and the same with mdbtools' count.
    listed=$(printf '%s\n' "${got[@]}" | sed -n 's/^table \(-\{0,1\}[0-9]*\) 0x[0-9A-F]\{8\} \(.*\)$/\2|\1/p' | sort)
    counted=$(while IFS='|' read -r name _; do echo "$name|$(mdb-count "$dataset" "$name")"; done <<<"$listed" | sort)
    bench_expect_eq "each table's stored count is what mdbtools counts" "$counted" "$listed"
    # Neither the system's flag (0x80000000) nor DAO's own (0x2): the tables mdbtools lists as the user's.
    user_tables=$(printf '%s\n' "${got[@]}" | while read -r word _ attributes name; do
        [[ $word == table ]] && ! ((attributes & 0x80000002)) && echo "$name"; done | sort)
    bench_expect_eq "the user's tables are mdbtools'" "$(mdb-tables -1 "$dataset" | sort)" "$user_tables"
    bench_expect_eq "the database is closed once the tables are read: it can be renamed at once" "renamed" \
        "$(printf '%s\n' "${got[@]}" | tail -n 1)"
    bench_expect_eq "a table's rows counted" "rows $(mdb-count "$dataset" Users)" "$(pc dao-count "$renamed" Users)"
    bench_expect_eq "a file that is not there" "error 0x800A0BD0" "$(number_of "$(pc dao-tables 'C:\pc\none.mdb')")"
    mapfile -t got < <(pc dao-count "$renamed" 'No Such Table' then-rename 'C:\pc\dao again.mdb')
    bench_expect_eq "a table that is not there" "error 0x800A0C06" "$(number_of "${got[0]:-}")"
    bench_expect_eq "the database is closed after a failure too: it can be renamed at once" "renamed" \
        "${got[1]:-}"
fi

bench_finish
