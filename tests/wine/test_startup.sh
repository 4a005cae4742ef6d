#!/usr/bin/env bash
# Start-up under Wine: the registry probes and ReadReg against Wine's real
# registry (the 32-bit view), the host name, and what the program does at its
# start with each kind of data source: no window and only its message where
# there is no DBQ or it cannot be read as text, the path shown whole where
# there is one, and the red strokes only over the products that are missing,
# as the screen shows them. A killed run's lines start nothing and ask nothing
# where every user may write them, beside the database; in the run's record in
# ProgramData the start finds the run and asks.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_require_built "$BENCH_EXE" "$BENCH_DRIVER" "$BENCH_FORM_PROBE"

bench_start
HOST=$(hostname)
DSN='HKLM\SOFTWARE\ODBC\ODBC.INI\QuorvinCollaborationSuite'
LONG_DSN='HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBC.INI\QuorvinCollaborationSuite'
QUORVIN='HKEY_LOCAL_MACHINE\SOFTWARE\Quorvin'
TITLE="Compact And Repair - $HOST"

# reg in the 32-bit view, where a 32-bit program reads.
reg32() { bench_reg "$@" /reg:32 >>"$BENCH_WINE_LOG" 2>&1 || bench_die "reg $* failed"; }

# One procedure of the window class; its output lines joined by "|", so that
# "done" at the end shows it returned. Through a file, not a pipe: whatever
# a procedure starts would hold a pipe open.
probe() {
    bench_wine "$BENCH_FORM_PROBE" "$@" >"$BENCH_TMP/probe.out" 2>>"$BENCH_WINE_LOG" </dev/null
    tr -d '\r' <"$BENCH_TMP/probe.out" | paste -sd'|'
}
driver() { bench_wine "$BENCH_DRIVER" "$@" 2>>"$BENCH_WINE_LOG" </dev/null | tr -d '\r'; }

# --- registry probes ---------------------------------------------------------
bench_install_product teamharbor
reg32 add "$QUORVIN\\WithDefault" /ve /d "the default" /f
reg32 add "$QUORVIN\\Values" /v Count /t REG_DWORD /d 7 /f
reg32 add "$QUORVIN\\Values" /v Expand /t REG_EXPAND_SZ /d '%SystemRoot%\Données' /f
reg32 add "$QUORVIN\\Values" /v Text /t REG_SZ /d 'C:\Straße\Løsning Ø' /f
reg32 add "$QUORVIN\\Values" /v Empty /t REG_SZ /d '' /f

th="$QUORVIN\\Teamharbor\\"
bench_expect_eq "a product key with only named values is an item" "true|done" "$(probe RegistryItemExists "$th")"
bench_expect_eq "... and a key" "true|done" "$(probe RegistryKeyExists "$th")"
bench_expect_eq "a key with a default value is an item" "true|done" \
    "$(probe RegistryItemExists "$QUORVIN\\WithDefault\\")"
bench_expect_eq "... and a key" "true|done" "$(probe RegistryKeyExists "$QUORVIN\\WithDefault\\")"
bench_expect "(the Quorvin key itself has no default value)" \
    grep -q '(value not set)' <<<"$(bench_reg query 'HKLM\SOFTWARE\Quorvin' /ve /reg:32)"
bench_expect_eq "a key with no values at all, only subkeys, is a key" "true|done" \
    "$(probe RegistryKeyExists "$QUORVIN\\")"
bench_expect_eq "a missing key is no item" "false|done" "$(probe RegistryItemExists "$QUORVIN\\Teampost\\")"
bench_expect_eq "... and no key" "false|done" "$(probe RegistryKeyExists "$QUORVIN\\Missing\\Deeper\\")"
bench_expect_eq "a key under a root that does not exist is none" "false|done" \
    "$(probe RegistryItemExists "HKEY_NOWHERE\\SOFTWARE\\Quorvin\\Teamharbor\\")"
bench_expect_eq "a path one short of a key under the root is a value, and none" "false|done" \
    "$(probe RegistryItemExists 'HKEY_LOCAL_MACHINE\SOFTWARE')"
bench_expect_eq "a value path is no key, even of a value that exists" "false|done" \
    "$(probe RegistryKeyExists "$QUORVIN\\Values\\Count")"
bench_expect_eq "a key path is no value, even of a key with a default value" "false|done" \
    "$(probe RegistryValueExists "$QUORVIN\\WithDefault\\")"
bench_expect_eq "a value holding empty text exists" "true|done" \
    "$(probe RegistryValueExists "$QUORVIN\\Values\\Empty")"
bench_expect_eq "a missing value does not" "false|done" "$(probe RegistryValueExists "$QUORVIN\\Values\\Absent")"
if [[ $(cat "$BENCH_TEMPLATE/arch") == win64 ]]; then
    bench_reg add "$QUORVIN\\Only64" /v Name /d x /f /reg:64 >>"$BENCH_WINE_LOG" 2>&1
    bench_expect_eq "a key only in the 64-bit view is not seen" "false|done" \
        "$(probe RegistryItemExists "$QUORVIN\\Only64\\")"
fi

bench_expect_eq "ReadReg of a DWORD gives the number" "number:7|done" "$(probe ReadReg "$QUORVIN\\Values\\Count")"
bench_expect_eq "ReadReg of an expandable string gives it expanded" 'text:C:\windows\Données|done' \
    "$(probe ReadReg "$QUORVIN\\Values\\Expand")"
bench_expect_eq "ReadReg of a string gives it letter for letter" 'text:C:\Straße\Løsning Ø|done' \
    "$(probe ReadReg "$QUORVIN\\Values\\Text")"
bench_expect_eq "ReadReg of a key's default value" 'text:the default|done' \
    "$(probe ReadReg "$QUORVIN\\WithDefault\\")"
missing=$(probe ReadReg "$QUORVIN\\Values\\Absent")
bench_expect_eq "ReadReg of a missing value fails with 0x80070002" "error 0x80070002" "$(cut -d' ' -f1-2 <<<"$missing")"
bench_expect "... with a description" grep -Eq '^error 0x80070002 [^|]*[[:alpha:]][^|]*\|done$' <<<"$missing"

bench_expect_eq "the host name is what hostname prints" "$HOST|done" "$(probe GetHostName)"

# --- the program's start -------------------------------------------------------
start_program() {
    bench_wine "$BENCH_EXE" >"$BENCH_TMP/program.out" 2>&1 </dev/null &
    PROGRAM_JOB=$!
}

program_pid() { bench_process_list | awk -F'\t' 'tolower($3) == "compactandrepair.exe" { print $1 }'; }

# WHAT, MESSAGE: the program shows MESSAGE in its box, ends once it is
# answered, and its window is never seen from before its start to its end.
expect_refused_start() {
    local what=$1 want=$2 watcher box pid
    bench_wine "$BENCH_DRIVER" wait-window 60000 >"$BENCH_TMP/watch.out" 2>>"$BENCH_WINE_LOG" </dev/null &
    watcher=$!
    start_program
    # no-box returns as soon as a box is up and leaves it open.
    box=$(driver no-box 20000) || true
    bench_expect_eq "$what: the message" "$want" "$box"
    pid=$(program_pid)
    bench_expect_eq "$what: no window while the box is up" 2 "$(driver wait-window 300 >/dev/null; echo $?)"
    driver answer-box 5000 >/dev/null || true
    bench_expect "$what: the program ends once the box is answered" driver --pid "$pid" wait-gone 10000
    wait "$PROGRAM_JOB" || true
    bench_expect "$what: the window never appeared in the program's life" kill -0 "$watcher"
    kill "$(pgrep -P "$watcher")" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    [[ -s $BENCH_TMP/watch.out ]] && echo "  the watcher saw: $(tr -d '\r' <"$BENCH_TMP/watch.out")"
    return 0
}

# Starts the program and waits for its window: sets PID and DUMP.
start_shown() {
    start_program
    driver wait-window 20000 >/dev/null || bench_die "the window did not appear: $(driver answer-box 100)"
    PID=$(driver pid)
    DUMP=$(driver dump)
}

close_program() {
    driver close >/dev/null
    driver --pid "$PID" wait-gone 10000 >/dev/null || bench_die "the program did not end on close"
    wait "$PROGRAM_JOB" || true
}

# NAME FIELD: a column of a control's line of the dump (3 visible=, 5 x,y,w,h, 6 text).
dumped() { awk -F'\t' -v name="$1" -v field="$2" '$1 == name { print $field }' <<<"$DUMP"; }

# --- the screen ----------------------------------------------------------------
# There is no window manager: Wine draws the frame itself, as wide at the
# sides as at the bottom, the title bar on top. That puts the client area at:
client_on_screen() {
    local info size x y w h border
    info=$(xwininfo -display "$DISPLAY" -name "$TITLE")
    x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/^ *Width: *//p' <<<"$info")
    h=$(sed -n 's/^ *Height: *//p' <<<"$info")
    size=$(grep -o 'client=[0-9]*x[0-9]*' <<<"$DUMP" | cut -d= -f2)
    CLIENT_W=${size%x*} CLIENT_H=${size#*x}
    border=$(((w - CLIENT_W) / 2))
    CLIENT_GEOMETRY="${CLIENT_W}x${CLIENT_H}+$((x + border))+$((y + h - CLIENT_H - border))"
}

# Takes a screenshot into FILE and keeps the client area's pixels ("x y RRGGBB"
# a line) in $BENCH_TMP/client.txt. Succeeds once Wine has put the whole
# window on the display: two shots alike, the banner's corner white.
shot_settled() {
    bench_screenshot "$1" || return 1
    convert "$ARTIFACTS/$1" -crop "$CLIENT_GEOMETRY" +repage -depth 8 txt:- |
        awk 'NR > 1 { split($1, at, /[,:]/); print at[1], at[2], substr($3, 2, 6) }' >"$BENCH_TMP/client.new"
    if cmp -s "$BENCH_TMP/client.new" "$BENCH_TMP/client.txt" && [[ $(pixel 0 0) == FFFFFF ]]; then
        return 0
    fi
    mv "$BENCH_TMP/client.new" "$BENCH_TMP/client.txt"
    return 1
}

screenshot() {
    client_on_screen
    rm -f "$BENCH_TMP/client.txt"
    bench_wait_until "shot_settled $1" 10 || bench_die "the window never settled on the display"
}

pixel() { awk -v x="$1" -v y="$2" '$1 == x && $2 == y { print $3; exit }' "$BENCH_TMP/client.txt"; }

# X0 Y0 DX DY N: how many of the N points X0+i*DX, Y0+i*DY are pure red.
red_along() {
    awk -v x0="$1" -v y0="$2" -v dx="$3" -v dy="$4" -v n="$5" '
        BEGIN { for (i = 0; i < n; i++) want[(x0 + i * dx) " " (y0 + i * dy)] = 1 }
        ($1 " " $2) in want && $3 == "FF0000" { red++ }
        END { print red + 0 }' "$BENCH_TMP/client.txt"
}

# X Y W H: how many pure red pixels the rectangle holds.
red_within() {
    awk -v x="$1" -v y="$2" -v w="$3" -v h="$4" \
        '$1 >= x && $1 < x + w && $2 >= y && $2 < y + h && $3 == "FF0000" { red++ } END { print red + 0 }' \
        "$BENCH_TMP/client.txt"
}

# PICTURE: the stroke over the picture (x y 32 32 in the dump) runs from its
# lower-left corner to its upper-right one, pure red, and not the other way.
expect_stroke_over() {
    local what=$1 x y
    IFS=, read -r x y _ <<<"$(dumped "$1" 5)"
    # The corner points themselves may be cut by the line's end caps.
    bench_expect_eq "a red stroke crosses $what from lower left to upper right" 29 \
        "$(red_along $((x + 2)) $((y + 32 - 2)) 1 -1 29)"
    bench_expect_eq "... not from upper left to lower right" 0 \
        "$(($(red_along "$x" "$y" 1 1 12) + $(red_along $((x + 21)) $((y + 21)) 1 1 12)))"
}

expect_no_stroke_over() {
    local x y
    IFS=, read -r x y _ <<<"$(dumped "$1" 5)"
    bench_expect_eq "no red over $1" 0 "$(red_within $((x - 3)) $((y - 3)) 38 38)"
}

# --- no data source: no window, only the message -----------------------------
expect_refused_start "no data source" "Data Source was not a JET driver"

reg32 add "$DSN" /v Driver /d 'C:\windows\system32\sqlsrv32.dll' /f
reg32 add "$DSN" /v Server /d 'db01' /f
expect_refused_start "a data source without DBQ" "Data Source was not a JET driver"

reg32 add "$DSN" /v DBQ /t REG_MULTI_SZ /d 'C:\a.mdb\0C:\b.mdb' /f
bench_expect_eq "(DBQ holds two texts)" 'texts:[C:\a.mdb][C:\b.mdb]|done' "$(probe ReadReg "$LONG_DSN\\DBQ")"
expect_refused_start "a DBQ of several texts" 'Error 13 (0x0000000D)\r\n\r\nType mismatch'

# --- the path as it is, the strokes over what is missing ---------------------
bench_set_dbq "$BENCH_DEFAULT_DB"
reg32 delete "$QUORVIN\\Teamharbor" /f
bench_install_product mailserver
start_shown
bench_expect_eq "the title carries the host name" "$TITLE" "$(driver text frmCompactAndRepair)"
bench_expect_eq "the path with blanks and accents is shown whole" "$BENCH_DEFAULT_DB" "$(dumped txtDBPath 6)"
bench_expect_eq "with only the mail server installed: Teamharbor's stroke shows, the mail server's not" \
    "thline visible=1 tpline visible=0 qoline visible=0" \
    "$(for l in thline tpline qoline; do echo "$l $(dumped $l 3)"; done | paste -sd' ')"
screenshot startup/mail_server_only.png
bench_expect_eq "(the client area is where it was looked for: white banner, grey below)" "FFFFFF grey" \
    "$(pixel 0 0) $([[ $(pixel 0 57) != FFFFFF ]] && echo grey)"
expect_stroke_over imgTH
expect_no_stroke_over imgTP
expect_no_stroke_over imgQO
close_program

# --- a run that left no outcome ------------------------------------------------
# Its header and a status, as a killed run leaves them; the database is in
# its place, the mail server is installed and not running.
bench_database "$BENCH_DEFAULT_DB"
record=$(bench_record_file "$BENCH_DEFAULT_DB")
printf '2026-01-02 03:04:05.006 %s\r\n' "Compact And Repair 1.0.0 on $HOST, database $BENCH_DEFAULT_DB (pid 1)" \
    "Status: Stopping Services" >"$BENCH_TMP/killed.log"
db_log="$(bench_unix_path "$BENCH_DEFAULT_DB").log"
for planted in "$db_log" "$record"; do
    rm -f "$db_log" "$record"
    cp "$BENCH_TMP/killed.log" "$planted"
    start_program
    box=""
    driver wait-window 20000 >/dev/null || box=$(driver answer-box 5000 --no)
    if [[ $planted == "$db_log" ]]; then
        bench_expect_eq "a killed run in the log beside the database alone: no question, the window shows" "" "$box"
        bench_expect "... and nothing was written beside it" cmp -s "$BENCH_TMP/killed.log" "$db_log"
    else
        bench_expect "in the run's record in ProgramData: the start asks to start the mail server again" grep -qF \
            "did not end: its last status was \"Stopping Services\".\r\n\r\nNot running now: Quorvin Mail Server." \
            <<<"$box"
    fi
    driver wait-window 20000 >/dev/null || bench_die "the window did not appear"
    PID=$(driver pid)
    close_program
done

other_db='C:\Straße\Løsning Ø\Daten\suite.mdb'
bench_set_dbq "$other_db"
reg32 delete "$QUORVIN\\Teampost" /f
start_shown
bench_expect_eq "a path with ß and ø is shown whole" "$other_db" "$(dumped txtDBPath 6)"
bench_expect_eq "with nothing installed: both strokes show, the organizer's never" \
    "thline visible=1 tpline visible=1 qoline visible=0" \
    "$(for l in thline tpline qoline; do echo "$l $(dumped $l 3)"; done | paste -sd' ')"
screenshot startup/nothing_installed.png
expect_stroke_over imgTH
expect_stroke_over imgTP
expect_no_stroke_over imgQO
close_program

reg32 add "$DSN" /v DBQ /t REG_SZ /d '' /f
bench_install_product teamharbor
bench_install_product mailserver
bench_install_product organizer
start_shown
bench_expect_eq "an empty DBQ leaves the path box empty" "" "$(dumped txtDBPath 6)"
bench_expect_eq "... and the window is in its Ready state" "visible=1 enabled=1 Cancel" \
    "$(dumped cmdClose 3) $(dumped cmdClose 4) $(dumped cmdClose 6)"
bench_expect_eq "with everything installed no stroke shows" \
    "thline visible=0 tpline visible=0 qoline visible=0" \
    "$(for l in thline tpline qoline; do echo "$l $(dumped $l 3)"; done | paste -sd' ')"
screenshot startup/all_installed.png
bench_expect_eq "no red anywhere in the banner" 0 "$(red_within 0 0 "$CLIENT_W" 57)"
close_program

bench_finish
