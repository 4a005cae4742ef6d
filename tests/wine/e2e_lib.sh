# shellcheck shell=bash disable=SC2034 # the texts and readings are the tests' to use
# What the end-to-end tests (test_e2e_*.sh) share: the program started on the
# simulated server, one run followed from the press of the button to its end
# through the driver, the texts a run shows, and readings of the database.
#
#   source "$(dirname "$0")/e2e_lib.sh"   # also brings lib.sh
#   e2e_start_server                      # bench_start and bench_make_server
#   e2e_snapshot_database                 # before the run
#   e2e_start_program
#   e2e_begin_run && e2e_wait_for_status "Stopping Admin 2" 30 && ...
#   e2e_end_run                           # the watch's own exit status
#   e2e_timeline / e2e_final_dump / e2e_control NAME
#
# The program and everything it starts write to files, never to a pipe: a
# program it launches (a server, explorer.exe) inherits its standard handles
# and would hold a pipe open for as long as it runs.

# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

bench_require_built "$BENCH_EXE" "$BENCH_DRIVER"

# The status texts as a person reads them, in the order of a run.
E2E_READY_TEXT="Click 'Compact and Repair' to begin. Please note that Teamharbor, Quorvin Mail Server and Quorvin Organizer (if installed) will be shutdown. IIS will also be restarted if QO is installed."
E2E_STOPPING=("Going to Kill Processes" "Stopping Services" "Stopping Services 1" "Stopping Services 2"
    "Stopping Services 3" "Stopping Admin" "Stopping Admin 1" "Stopping Admin 2" "Stopping Admin 3")
E2E_STOPPING_IIS=("Stopping IIS" "Stopping IIS (Waiting...1)" "Stopping IIS (Waiting...2)"
    "Stopping IIS (Waiting...3)" "Stopping IIS (Waiting...4)" "Stopping IIS (Waiting...5)")
E2E_COMPACTING=("About to compact and repair database..." "Compacting and repairing database...")
E2E_SWAPPING=("Compact complete. Renaming old Database" "Putting compacted database in place")
E2E_PERMISSIONS=("Setting Permissions..." "Setting Permissions...1" "Setting Permissions...2"
    "Setting Permissions...3" "Setting Permissions...4" "Setting Permissions...5" "Setting Permissions...6"
    "Setting Permissions...7" "Setting Permissions...8" "Setting Permissions...9")
E2E_RESTARTING=("Starting Services...")
# A whole run's texts after the Ready text, up to the completion text.
E2E_WHOLE_RUN=("${E2E_STOPPING[@]}" "${E2E_STOPPING_IIS[@]}" "${E2E_COMPACTING[@]}" "${E2E_SWAPPING[@]}"
    "${E2E_PERMISSIONS[@]}" "${E2E_RESTARTING[@]}")
# The completion text as the driver prints it: its CR LF escaped as \r\n.
E2E_COMPLETE_PREFIX='Compact and repair complete.\r\nThe old database has been backed up to: '

# The statuses of a wait for the database to be let go, from FIRST to LAST
# seconds; then the compaction's own status again.
e2e_waiting_texts() {
    local second
    for ((second = $1; second <= $2; second++)); do
        echo "Waiting for the database to be closed... $second s of at most 60 s"
    done
    echo "${E2E_COMPACTING[1]}"
}

# The bench and its simulated server (bench_make_server OPTION...). The bench
# starts as a condition: when two benches start at once, the loser of a race
# for a display moves on to the next one instead of ending the script.
# shellcheck disable=SC2120 # the options are optional
e2e_start_server() {
    bench_start || bench_die "the bench did not start"
    bench_make_server "$@"
}

# The driver, for commands that launch nothing (so a pipe is safe).
e2e_driver() { bench_wine_text "$BENCH_DRIVER" "$@"; }

# Starts the program (E2E_EXE, else the build's) on the scenario's server, with
# the arguments given, and waits for its window; sets E2E_PID to the program's process id and
# E2E_PROGRAM_JOB to the job whose status is the program's exit code
# (e2e_exit_code).
e2e_start_program() {
    BENCH_WINE_TIMEOUT=240 bench_wine "${E2E_EXE:-$BENCH_EXE}" "$@" >>"$BENCH_TMP/program.log" 2>&1 &
    E2E_PROGRAM_JOB=$!
    e2e_driver wait-window 20000 >/dev/null || bench_die "the program's window did not appear"
    E2E_PID=$(e2e_driver pid) || bench_die "no process id for the window"
    [[ $E2E_PID =~ ^[0-9]+$ ]] || bench_die "driver pid printed: $E2E_PID"
}

# The exit code the program ended with, once it has ended.
e2e_exit_code() {
    local status=0
    wait "$E2E_PROGRAM_JOB" || status=$?
    echo "$status"
}

# Presses "Compact and Repair Database" and follows the run in the background
# as a person watching the window would: every status text, every message box
# (answered with OK), until "Open Data Folder" shows or the window goes. The
# watch presses the button itself, so that no text slips by between the press
# and the start of the watch, and takes a text that stood too briefly for its
# looks at the window from the run log ("LOG: "). NAME names the watch's file;
# further arguments go to the watch (--double-click, --interval). The watch
# allows a run of 150 s: a whole run (about 20 s), a minute of waiting for the
# database, and slack.
e2e_begin_run() {
    E2E_WATCH="$BENCH_TMP/${1:-run}.watch"
    : >"$E2E_WATCH"
    BENCH_WINE_TIMEOUT=170 bench_wine "$BENCH_DRIVER" --pid "$E2E_PID" watch-status 150000 --click cmdCompact \
        "${@:2}" --until-visible cmdOpenDataFolder --answer-boxes >"$E2E_WATCH" 2>"$E2E_WATCH.err" &
    E2E_WATCH_JOB=$!
}

# Waits for the watch to end; returns the driver's exit status (0: the run
# finished, 1: the window went first, 2: out of time). The watch stops the
# moment "Open Data Folder" shows, and the program shows it a moment before it
# writes the completion text and shows the tick: the window is then dumped
# again until two dumps in a row agree, and that settled window is what the
# person reads (e2e_final_dump). The watch's output is kept under $ARTIFACTS
# for a post-mortem.
e2e_end_run() {
    local status=0 previous current tries
    wait "$E2E_WATCH_JOB" || status=$?
    E2E_SETTLED="$E2E_WATCH.settled"
    rm -f "$E2E_SETTLED"
    if ((status == 0)); then
        previous=$(e2e_driver --pid "$E2E_PID" dump) || previous=""
        for ((tries = 0; tries < 20; tries++)); do
            current=$(e2e_driver --pid "$E2E_PID" dump) || current=""
            [[ $current == "$previous" ]] && break
            previous=$current
        done
        [[ -n $current ]] && printf '%s\n' "$current" >"$E2E_SETTLED"
    fi
    mkdir -p "$ARTIFACTS/logs"
    cp "$E2E_WATCH" "$ARTIFACTS/logs/$(basename "$0" .sh).$(basename "$E2E_WATCH")"
    if ((status != 0)); then
        echo "# watch-status ended with $status:" >&2
        sed 's/^/#   /' "$E2E_WATCH.err" >&2
    fi
    return "$status"
}

# The watch's lines without the time stamp ("+MS ") it puts before each, and
# the texts it took from the log among the others, as the person saw them.
e2e_watch_lines() { sed -e 's/^+[0-9]* //' -e 's/^LOG: //' "$E2E_WATCH"; }

e2e_has_shown() { e2e_watch_lines | grep -qxF -- "$1"; }

# Until the watch has shown the status text TEXT (a whole line), at most
# SECONDS seconds; fails at once when the watch ends without it.
e2e_wait_for_status() {
    local text
    text=$(printf '%q' "$1")
    bench_wait_until "e2e_has_shown $text || ! kill -0 $E2E_WATCH_JOB" "$2" && e2e_has_shown "$1"
}

# The status texts and "BOX: <message>" lines of the run, in order, ended by
# the settled window's status when the watch stopped before it (e2e_end_run).
e2e_timeline() {
    local lines final
    lines=$(e2e_watch_lines | sed '/^END: /,$d')
    final=$(e2e_final_dump | e2e_control_text lblStatus)
    printf '%s\n' "$lines"
    [[ -z $final || $final == "$(tail -n 1 <<<"$lines")" ]] || printf '%s\n' "$final"
}

# Milliseconds from the press of the button until the status text TEXT showed
# (its first showing, by its run log line's time stamp when the log has it);
# empty when it never showed.
e2e_status_time() {
    awk -v text="$1" '{ time = $1; sub(/^[^ ]* /, ""); sub(/^LOG: /, "") }
        $0 == text && time ~ /^\+[0-9]+$/ { print substr(time, 2); exit }' "$E2E_WATCH"
}

# Milliseconds from the press of the button to the end of the watch.
e2e_elapsed_ms() { sed -n 's/^ELAPSED_MS: //p' "$E2E_WATCH"; }

# Why the watch ended ("cmdOpenDataFolder visible", "window gone before ...").
e2e_end_reason() { e2e_watch_lines | sed -n 's/^END: //p'; }

# The window once the run has settled, or as the watch left it when the
# window went (the driver's dump format).
e2e_final_dump() {
    if [[ -s ${E2E_SETTLED:-} ]]; then
        cat "$E2E_SETTLED"
    else
        e2e_watch_lines | sed -n '/^END: /,$p' | grep -v -e '^END: ' -e '^ELAPSED_MS: '
    fi
}

# "visible=V enabled=E x,y,w,h" of control NAME in the dump read from stdin.
e2e_control() { awk -F'\t' -v name="$1" '$1 == name { print $3, $4, $5 }'; }

# The text of control NAME in the dump read from stdin.
e2e_control_text() { awk -F'\t' -v name="$1" '$1 == name { print $6 }'; }

# The final status text's backup path, checked for its form: the database
# path, "." and a number 0 to 899 without leading zeros, ".tmpBackup". Prints
# the path, or nothing when the last status is not a completion text. Lines
# after the path (a product not running again) are not part of it.
e2e_backup_path() {
    local last path number
    last=$(e2e_timeline | tail -n 1)
    [[ $last == "$E2E_COMPLETE_PREFIX"* ]] || return 1
    path=${last#"$E2E_COMPLETE_PREFIX"}
    path=${path%%\\r\\n*}
    [[ $path == "$BENCH_DB".*.tmpBackup ]] || return 1
    number=${path#"$BENCH_DB".}
    number=${number%.tmpBackup}
    [[ $number =~ ^(0|[1-9][0-9]{0,2})$ ]] && ((number <= 899)) || return 1
    echo "$path"
}

# --- the database -------------------------------------------------------------

# Every table and row as mdbtools reads them.
e2e_database_content() {
    local file=$1 table
    mdb-tables -1 "$file" | while IFS= read -r table; do
        echo "== $table"
        mdb-export "$file" "$table"
    done
}

# Remembers the database as it is: its bytes' checksum, its tables and rows,
# and the files of its folder (E2E_DB_FOLDER_FILES).
e2e_snapshot_database() {
    E2E_DB_FILE=$(bench_unix_path "$BENCH_DB")
    E2E_DB_FOLDER=$(dirname "$E2E_DB_FILE")
    E2E_DB_SUM=$(sha256sum <"$E2E_DB_FILE")
    E2E_DB_CONTENT=$(e2e_database_content "$E2E_DB_FILE")
    [[ -n $E2E_DB_CONTENT ]] || bench_die "mdbtools cannot read the database"
    E2E_DB_FOLDER_FILES=$(e2e_folder_files)
}

# The files of the database's folder. The run's log beside the database
# (its name with ".log" added) is the run's record, not one of the database's
# files, and is left out. The names are the bench's own, plain ones.
# shellcheck disable=SC2012
e2e_folder_files() { (cd "$E2E_DB_FOLDER" && ls -A | { grep -vxF "$(basename "$E2E_DB_FILE").log" || true; }); }

# --- the suite's processes -------------------------------------------------------

E2E_SUITE_SERVICES=(Teamharbor "Quorvin Mail Server")
E2E_SUITE_PROGRAMS=(THService.exe QMSSrv.exe THAdmin.exe TPAdmin.exe QOAdmin.exe)

# The suite programs of the process list that still run, one a line.
e2e_running_suite_programs() {
    local list program
    list=$(bench_process_list)
    for program in "${E2E_SUITE_PROGRAMS[@]}"; do
        awk -F'\t' -v name="$program" 'tolower($3) == tolower(name) { print $3 }' <<<"$list"
    done
}

# How many times the fixture started as the service NAME (bench_started).
e2e_service_starts() { bench_started | awk -F'\t' -v m="service:$1" '$1 == m { n++ } END { print n + 0 }'; }
e2e_service_stops() { bench_started | awk -F'\t' -v m="stopped:$1" '$1 == m { n++ } END { print n + 0 }'; }

# The run log's lines (beside the database BENCH_DB) from line FROM (default
# 1) on, without their time stamps; e2e_log_length is the line count now.
# shellcheck disable=SC2120 # FROM is optional
e2e_log_lines() { bench_log_lines "$(bench_unix_path "$BENCH_DB").log" "${1:-1}"; }
e2e_log_length() { { wc -l <"$(bench_unix_path "$BENCH_DB").log"; } 2>/dev/null || echo 0; }

# --- checks the scenarios share ------------------------------------------------------
# LABEL, where a check takes one, starts the name of each check it makes.

# Ends the watch (e2e_end_run) and checks how it ended: WANT is "STATUS
# REASON", by default a finished run's.
e2e_expect_run_end() {
    local status=0
    e2e_end_run || status=$?
    bench_expect_eq "$1" "${2:-0 cmdOpenDataFolder visible}" "$status $(e2e_end_reason)"
}

# WHAT TEXT...: the run's status texts and boxes (e2e_timeline) are the TEXTs, in order.
e2e_expect_timeline() {
    bench_expect_eq "$1" "$(printf '%s\n' "${@:2}")" "$(e2e_timeline)"
}

# The swap of a finished run, against e2e_snapshot_database: the completion
# text names a backup (e2e_backup_path) that is the old database byte for
# byte, the database's name holds the same tables and rows, and the folder
# gained the backup alone. Sets E2E_BACKUP to the backup's path, empty if none.
e2e_expect_swapped() {
    local label=${1:+$1: } backup_file=/nonexistent
    E2E_BACKUP=$(e2e_backup_path) || E2E_BACKUP=""
    bench_expect "${label}the completion text names <db>.<0..899>.tmpBackup" test -n "$E2E_BACKUP"
    [[ -n $E2E_BACKUP ]] && backup_file=$(bench_unix_path "$E2E_BACKUP")
    bench_expect_eq "${label}the old database is kept byte for byte under the backup name" "$E2E_DB_SUM" \
        "$(sha256sum <"$backup_file" 2>/dev/null || true)"
    bench_expect_eq "${label}the compacted database stands under its name with the same tables and rows" \
        "$E2E_DB_CONTENT" "$(e2e_database_content "$E2E_DB_FILE")"
    bench_expect_eq "${label}the folder gained the backup, nothing else" \
        "$(printf '%s\n' "$E2E_DB_FOLDER_FILES" "${backup_file##*/}" | sort)" "$(e2e_folder_files | sort)"
}

# SERVICE STATE "STOPS STARTS" [LABEL]: the service reaches STATE (STOPPED
# within 10 s, a restart within 15 s) and has stopped and started so many
# times, the bench's own start counted.
e2e_expect_service() {
    local service=$1 state=$2 counts=$3 label=${4:+$4: } seconds=10
    [[ $state == RUNNING ]] && seconds=15
    bench_expect "${label}the $service service is $state" \
        bench_wait_until "bench_service_is $(printf '%q' "$service") $state" "$seconds"
    bench_expect_eq "${label}the $service service stopped ${counts% *} and started ${counts#* } time(s) in all" \
        "$counts" "$(e2e_service_stops "$service") $(e2e_service_starts "$service")"
}

# STATE "STOPS STARTS" [LABEL]: both services as e2e_expect_service says.
e2e_expect_services() {
    local service
    for service in "${E2E_SUITE_SERVICES[@]}"; do e2e_expect_service "$service" "$@"; done
}

# The suite after a run that ended its programs: both services as
# e2e_expect_services says, and none of its server or administration programs runs.
e2e_expect_suite() {
    e2e_expect_services "$@"
    bench_expect_eq "${3:+$3: }no server or administration program runs" "" "$(e2e_running_suite_programs)"
}

# WHAT ARG...: the iisreset recorder was started with these arguments, in
# order (stop start: "iisreset /stop", then "iisreset /start"); none: never.
e2e_expect_iisreset() {
    local want=""
    (($# > 1)) && want=$(printf 'iisreset /%s\n' "${@:2}")
    bench_expect_eq "$1" "$want" "$(bench_recorded iisreset)"
}

# No tick when the run ended: the status text keeps the place and width
# READY_PLACE it had in the Ready window (its e2e_control line).
e2e_expect_no_tick() {
    bench_expect_eq "no tick: the status keeps its Ready place and width" "visible=0|$1" \
        "$(e2e_final_dump | e2e_control imgTick | cut -d' ' -f1)|$(e2e_final_dump | e2e_control lblStatus)"
}

# WHAT CODE: the program ends within 10 s, with the exit code CODE. It waits
# for the program's job in this shell: a command substitution's subshell
# cannot wait for it.
e2e_expect_exit() {
    local code="(still running)"
    if e2e_driver --pid "$E2E_PID" wait-gone 10000 >/dev/null; then
        code=0
        wait "$E2E_PROGRAM_JOB" || code=$?
    fi
    bench_expect_eq "$1" "$2" "$code"
}

# --- the screen -------------------------------------------------------------------

# How many pixels of the screenshot FILE have the green of the tick picture.
e2e_tick_pixels() {
    convert "$1" -fuzz 12% -fill black +opaque 'srgb(46,158,62)' -fill white -opaque 'srgb(46,158,62)' \
        -format '%[fx:round(mean*w*h)]' info:
}
