#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# The window under Wine as a person meets it before any run: its Ready state
# control by control (class, caption, visibility, enabled state and place at
# 96 dpi), the title with the host name, every caption shown whole at 96 and
# 144 dpi and in a dark colour scheme, the keyboard (Tab, Enter, Esc before,
# during and after a run), the path and the status copied to the clipboard,
# "Cancel" and the close box ending the program, the hidden "Open Data Folder"
# that cannot be pressed, and the Open Data Folder command opening Wine's
# explorer on a folder with a blank.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

bench_require_built "$BENCH_EXE" "$BENCH_DRIVER" "$BENCH_FORM_PROBE"

bench_start
bench_make_server --products none --no-services --no-programs
TITLE="Compact And Repair - $(hostname)"

driver() { bench_wine "$BENCH_DRIVER" "$@" 2>>"$BENCH_WINE_LOG" </dev/null | tr -d '\r'; }

# Through a file, not a pipe: the explorer it starts would hold a pipe open.
probe() {
    bench_wine "$BENCH_FORM_PROBE" "$@" >"$BENCH_TMP/probe.out" 2>>"$BENCH_WINE_LOG" </dev/null
    tr -d '\r' <"$BENCH_TMP/probe.out" | paste -sd'|'
}

start_shown() {
    bench_wine "$BENCH_EXE" >"$BENCH_TMP/program.out" 2>&1 </dev/null &
    PROGRAM_JOB=$!
    driver wait-window 20000 >/dev/null || bench_die "the window did not appear: $(driver answer-box 100)"
    PID=$(driver pid)
}

# Wine's desktop process keeps the DPI and colours it started with; the next
# program to show a window starts a new one, which reads the changed ones.
restart_desktop() {
    local pid
    pid=$(bench_process_list | awk -F'\t' 'tolower($3) == "explorer.exe" { print $1 }')
    [[ -z $pid ]] || bench_wine taskkill /f /pid "$pid" </dev/null >>"$BENCH_WINE_LOG" 2>&1
    bench_wait_until '! bench_process_running explorer.exe' 10
}

# WHAT: the window is gone, and so is the process, whose exit status is 0.
expect_ended() {
    bench_expect "$1: the window and the process are gone" driver --pid "$PID" wait-gone 10000
    local status=0
    wait "$PROGRAM_JOB" || status=$?
    bench_expect_eq "$1: the program's exit status" 0 "$status"
    bench_expect_eq "$1: no CompactAndRepair.exe runs any more" 0 "$(bench_process_count CompactAndRepair.exe)"
}

# The Ready window: every position and size is the layout's in twips / 15.
ready=$(
    cat <<EOF
window	visible=1	enabled=1	client=485x243	dpi=96	$TITLE
cmdClose	Button	visible=1	enabled=1	240,208,97,33	Cancel
cmdCompact	Button	visible=1	enabled=1	72,208,161,33	Compact and Repair Database
cmdOpenDataFolder	Button	visible=0	enabled=1	344,208,113,33	Open Data Folder
prjProgress	msctls_progress32	visible=0	enabled=1	8,216,465,25	
imgTick	CarPicture	visible=0	enabled=1	16,136,64,59	
qoline	CarLine	visible=0	enabled=1	52,4,41,41	
tpline	CarLine	visible=1	enabled=1	12,4,41,41	
thline	CarLine	visible=1	enabled=1	92,4,41,41	
imgTH	CarPicture	visible=1	enabled=1	96,8,32,32	
imgQO	CarPicture	visible=1	enabled=1	56,8,32,32	
imgTP	CarPicture	visible=1	enabled=1	16,8,32,32	
lblSpin	Static	visible=0	enabled=1	8,200,25,25	|
lblStatus	Edit	visible=1	enabled=1	16,136,449,57	Click 'Compact and Repair' to begin. Please note that Teamharbor, Quorvin Mail Server and Quorvin Organizer (if installed) will be shutdown. IIS will also be restarted if QO is installed.
lblStatus2	Static	visible=1	enabled=1	8,112,41,17	Status:
txtDBPath	Edit	visible=1	enabled=1	8,80,465,25	$BENCH_DB
Label1(1)	Static	visible=1	enabled=1	160,16,321,33	Compact and repair JET database of Teamharbor, Quorvin Mail Server and Quorvin Organizer
Label1(0)	Static	visible=1	enabled=1	0,0,489,57	
lblDBPath	Static	visible=1	enabled=1	8,64,457,17	Database Path:
Label3	Static	visible=1	enabled=1	8,128,465,73	
EOF
)

# --- Ready, then Cancel ------------------------------------------------------
start_shown
bench_expect_eq "the title is the program's name and the host name" "$TITLE" "$(driver text frmCompactAndRepair)"
dump=$(driver dump)
bench_expect_eq "the Ready window, control by control" "$ready" "$dump"
if [[ $dump != "$ready" ]]; then
    diff <(echo "$ready") <(echo "$dump") | sed 's/^/  /' || true
fi

# Wine copies the window to the display a moment after it appears: the
# picture is taken once two shots in a row are alike.
shot_settled() {
    bench_screenshot ready.png || return 1
    local now
    now=$(identify -format '%#' "$ARTIFACTS/ready.png")
    [[ $now == "${LAST_SHOT:-}" ]] && return 0
    LAST_SHOT=$now
    return 1
}
bench_expect "a screenshot of the Ready window" bench_wait_until shot_settled 10
bench_expect "every caption shows whole at 96 dpi" driver captions 5000

bench_expect_eq "Open Data Folder cannot be pressed before a run" 1 \
    "$(driver click cmdOpenDataFolder >/dev/null; echo $?)"
bench_expect_eq "... and opened no explorer" 2 "$(driver find-window-title "Données" 1000 >/dev/null; echo $?)"
bench_expect "... and the window stays" driver --pid "$PID" wait-control cmdCompact enabled 1000

bench_expect "Cancel can be pressed" driver click cmdClose
expect_ended "Cancel"

# --- Ready, then the close box -----------------------------------------------
start_shown
bench_expect "the close box can be used" driver close
expect_ended "the close box"

# --- The keyboard, and the texts copied --------------------------------------
start_shown
bench_expect_eq "the path can be selected and copied" "$BENCH_DB" "$(driver copy txtDBPath 5000)"
bench_expect "Esc, with the focus in the path box" driver key esc
expect_ended "Esc"

start_shown
driver key tab --when-focus cmdCompact
bench_expect "Tab, then Enter presses Cancel" driver key enter --when-focus cmdClose
expect_ended "Tab and Enter"

# Tab skips the hidden "Open Data Folder" back to the compact button.
start_shown
driver key tab --when-focus cmdCompact
driver key tab --when-focus cmdClose
bench_expect "Tab twice, then Enter" driver key enter --when-focus cmdCompact
bench_expect "... starts the run" driver --pid "$PID" wait-control prjProgress visible 10000
bench_expect "Esc during the run" driver key esc
bench_expect "... is ignored: the run finishes" driver --pid "$PID" wait-control cmdOpenDataFolder visible 120000
bench_expect "every caption shows whole after the run" driver captions 5000
bench_expect_eq "the completion text can be copied" "$(driver text lblStatus)" "$(driver copy lblStatus 5000)"
bench_expect "Esc after the run, with the focus in the status" driver key esc
expect_ended "Esc after the run"

# --- 144 dpi, then a dark colour scheme as well ------------------------------
bench_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
restart_desktop
start_shown
bench_expect "the window is shown at 144 dpi" bench_wait_until '[[ $(driver dump) == *dpi=144* ]]' 5
bench_expect "every caption shows whole at 144 dpi" driver captions 5000
driver key esc
expect_ended "144 dpi"

for colour in "Window 32 32 32" "WindowText 235 235 235" "ButtonFace 60 60 60" "ButtonText 250 250 250"; do
    bench_reg add 'HKCU\Control Panel\Colors' /v "${colour%% *}" /d "${colour#* }" /f >/dev/null
done
restart_desktop
start_shown
# The buttons are drawn by the theme, in colours of its own.
bench_expect "every label's text shows whole in the dark scheme's colours" \
    driver captions 5000 lblStatus lblStatus2 txtDBPath "Label1(1)" lblDBPath
bench_screenshot dark.png
driver key esc
expect_ended "the dark scheme"

# --- Open Data Folder: explorer on the database's folder -------------------
bench_expect_eq "Open Data Folder returns at once" "done" "$(probe OpenDataFolder "$BENCH_DB")"
explorer=$(driver find-window-title "Données" 15000) || true
bench_expect_eq "Wine's explorer shows the folder, titled with its last name" ExplorerWClass "${explorer%%$'\t'*}"
bench_expect_eq "... from explorer.exe" explorer.exe \
    "$(bench_process_list | awk -F'\t' -v pid="${explorer##*$'\t'}" '$1 == pid { print $3 }')"
bench_screenshot explorer.png

# A path that ends in "\" is its own folder.
bench_expect_eq "Open Data Folder of a folder path returns at once" "done" "$(probe OpenDataFolder "C:\\Suite Data\\")"
explorer=$(driver find-window-title "Suite Data" 15000) || true
bench_expect_eq "... and explorer shows that folder itself" ExplorerWClass "${explorer%%$'\t'*}"

bench_finish
