# shellcheck shell=bash
# The library every test under Wine sources. It gives each test script a
# simulated suite server of its own: an Xvfb display, a copy of the template
# prefix (tests/bench/make_template.sh) with its own wineserver, and helpers to
# set up a scenario and to look at it from outside. See tests/bench/README.md.
#
#   source "$(dirname "$0")/lib.sh"
#   bench_start                 # display + prefix + wineserver; cleaned up on exit
#   bench_make_server           # or build a scenario piece by piece
#   bench_wine "$BUILD_DIR/src/main/CompactAndRepair.exe" &
#
# Environment: BUILD_DIR (the Windows build), BENCH_TEMPLATE (the template
# prefix), ARTIFACTS (screenshots and logs), CAR_DATASET (the cached test
# database), BENCH_WINE_TIMEOUT (seconds for one wine call, default 60),
# BENCH_KEEP=1 (keep the scenario's folder after the test, for a post-mortem),
# BENCH_DISPLAY (an X display to use instead of a private Xvfb).
# Do not set an EXIT trap of your own: register cleanup with bench_at_exit.

[[ -n ${BENCH_LIB_LOADED:-} ]] && return 0
BENCH_LIB_LOADED=1

BENCH_REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
: "${BUILD_DIR:=$BENCH_REPO/build/windows}"
: "${BENCH_TEMPLATE:=$BENCH_REPO/build/bench-template}"
: "${ARTIFACTS:=$BENCH_REPO/build/artifacts}"
: "${CAR_DATASET:=${HOME:-/root}/.cache/car-bench/node-adodb.mdb}"
: "${BENCH_WINE_TIMEOUT:=60}"
export BUILD_DIR BENCH_TEMPLATE ARTIFACTS CAR_DATASET
# The program and the bench programs that the tests run, as the windows preset builds them.
# shellcheck disable=SC2034 # used by the scripts that source this file
{
    BENCH_EXE="$BUILD_DIR/src/main/CompactAndRepair.exe"
    BENCH_DRIVER="$BUILD_DIR/tests/bench/driver/driver.exe"
    BENCH_FORM_PROBE="$BUILD_DIR/tests/bench/form_probe/form_probe.exe"
}
# Wine turns command-line arguments and file names into UTF-16 by the locale:
# UTF-8, whatever the machine's environment says.
export LC_ALL=C.UTF-8

# Where the default scenario keeps the suite's database: a blank and
# non-ASCII letters in the folder, as real servers have them.
# shellcheck disable=SC2034 # used by make_server.sh and the tests
BENCH_DEFAULT_DB='C:\Suite Data\Données\suite.mdb'
BENCH_BIN='C:\bench\bin'

bench_die() {
    echo "bench: $*" >&2
    exit 1
}

# bench_require_built FILE...: ends the script unless every file is built.
bench_require_built() {
    local f
    for f in "$@"; do
        [[ -f $f ]] || bench_die "$f is missing; build the windows preset first"
    done
}

# --- the scenario's display, prefix and wineserver -------------------------

BENCH_AT_EXIT=()
bench_at_exit() { BENCH_AT_EXIT+=("$*"); }

bench_start() {
    [[ -z ${BENCH_TMP:-} ]] || bench_die "bench_start called twice"
    BENCH_TMP="$(mktemp -d "${TMPDIR:-/tmp}/car-bench.XXXXXX")"
    trap bench_stop EXIT
    trap 'exit 130' INT TERM HUP
    "$BENCH_REPO/tests/bench/make_template.sh" "$BUILD_DIR" "$BENCH_TEMPLATE" || bench_die "no template prefix"

    _bench_copy_prefix "$BENCH_TEMPLATE/prefix" "$BENCH_TMP/prefix"
    export WINEPREFIX="$BENCH_TMP/prefix"
    export WINEDEBUG="${BENCH_WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe="
    BENCH_WINE_LOG="$BENCH_TMP/wine.log"
    BENCH_LOG_DIR="$WINEPREFIX/drive_c/bench/log"
    mkdir -p "$ARTIFACTS"

    _bench_start_xvfb
    # The first process boots the prefix's own (services.exe, explorer.exe...);
    # they live as long as the wineserver and inherit this process's standard
    # handles, so those go to a file: a pipe would never see its end.
    timeout 30 wineserver -p </dev/null >>"$BENCH_WINE_LOG" 2>&1 || bench_die "wineserver did not start"
    bench_wine cmd /c exit </dev/null >>"$BENCH_WINE_LOG" 2>&1 || bench_die "the prefix did not boot"
}

bench_stop() {
    local status=$? action
    trap - EXIT INT TERM HUP
    for action in "${BENCH_AT_EXIT[@]}"; do eval "$action" || true; done
    if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
        timeout 20 wineserver -k >/dev/null 2>&1 || true
        timeout 20 wineserver -w >/dev/null 2>&1 || true
    fi
    if [[ -n ${BENCH_XVFB_PID:-} ]]; then
        kill "$BENCH_XVFB_PID" 2>/dev/null || true
        wait "$BENCH_XVFB_PID" 2>/dev/null || true
    fi
    if [[ -n ${BENCH_TMP:-} ]]; then
        if [[ ${BENCH_KEEP:-} == 1 ]]; then
            echo "bench: scenario kept in $BENCH_TMP" >&2
        else
            rm -rf "$BENCH_TMP"
        fi
    fi
    exit "$status"
}

# Wine's own DLLs in the system folders are hard links to the template's, so
# a copy costs a fraction of a second instead of five; everything else,
# the registry and the bench's files included, is copied. Nothing writes to
# Wine's DLLs; to take a program away from a scenario, remove its file
# (bench_remove_system_program), never overwrite it in place.
_bench_copy_prefix() {
    local from=$1 to=$2
    if [[ ${BENCH_FULL_COPY:-} == 1 ]]; then
        cp -a "$from" "$to"
        return
    fi
    _bench_copy_tree() {
        local entry name
        for entry in "$1"/* "$1"/.[!.]*; do
            [[ -e $entry || -L $entry ]] || continue
            name=${entry##*/}
            case "${entry#"$from"}" in
                /drive_c | /drive_c/windows)
                    mkdir "$2/$name"
                    _bench_copy_tree "$entry" "$2/$name"
                    ;;
                /drive_c/windows/system32 | /drive_c/windows/syswow64 | /drive_c/windows/winsxs)
                    cp -al "$entry" "$2/$name"
                    ;;
                *) cp -a "$entry" "$2/$name" ;;
            esac
        done
    }
    mkdir "$to"
    _bench_copy_tree "$from" "$to"
    # The recorder is ours: give the scenario its own copies.
    local file
    for file in "$to"/drive_c/windows/{system32,syswow64}/iisreset.exe; do
        [[ -f $file ]] && cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file"
    done
    return 0
}

_bench_start_xvfb() {
    # The demo on a real screen brings its own display.
    if [[ -n ${BENCH_DISPLAY:-} ]]; then
        export DISPLAY=$BENCH_DISPLAY
        return 0
    fi
    local base=${BENCH_DISPLAY_BASE:-100} n i
    for ((n = base; n < base + 100; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$BENCH_TMP/xvfb.log" 2>&1 &
        BENCH_XVFB_PID=$!
        for ((i = 0; i < 100; i++)); do
            kill -0 "$BENCH_XVFB_PID" 2>/dev/null || break
            # Ours only when the lock names our Xvfb: another script may have
            # taken the same number a moment earlier.
            if [[ -S /tmp/.X11-unix/X$n && $(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null) == "$BENCH_XVFB_PID" ]]; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.05
        done
        kill "$BENCH_XVFB_PID" 2>/dev/null || true
        wait "$BENCH_XVFB_PID" 2>/dev/null || true
        BENCH_XVFB_PID=
    done
    bench_die "no free display for Xvfb from :$base on"
}

# --- running things in the prefix ------------------------------------------

# wine, never without a time limit (BENCH_WINE_TIMEOUT seconds).
bench_wine() { timeout -k 5 "$BENCH_WINE_TIMEOUT" wine "$@"; }

# wine with Wine's console line ends (CR LF) turned into plain line feeds.
bench_wine_text() {
    local status
    bench_wine "$@" | tr -d '\r'
    status=${PIPESTATUS[0]}
    return "$status"
}

bench_probe() { bench_wine "$BENCH_BIN\\bench_probe.exe" "$@" 2>>"$BENCH_WINE_LOG"; }

bench_reg() { bench_wine_text reg "$@"; }

# C:\x\y -> the file in the prefix; Z:\x -> /x.
bench_unix_path() {
    local path=$1 rest
    rest=${path:2}
    rest=${rest//\\//}
    case ${path:0:2} in
        [cC]:) echo "$WINEPREFIX/drive_c$rest" ;;
        [zZ]:) echo "${rest:-/}" ;;
        *) bench_die "bench_unix_path: not a C: or Z: path: $path" ;;
    esac
}

# /x/y -> Z:\x\y, as the prefix sees a Linux file.
bench_windows_path() { local p=$1 && echo "Z:${p//\//\\}"; }

# Polls CMD (a shell command line) every 0.1 s until it succeeds or TIMEOUT
# seconds have passed; then fails with a message.
bench_wait_until() {
    local cmd=$1 limit_us
    limit_us=$(awk -v s="$2" 'BEGIN { printf "%d", s * 1000000 }')
    local start=${EPOCHREALTIME/./}
    until eval "$cmd" >/dev/null 2>&1; do
        if ((${EPOCHREALTIME/./} - start > limit_us)); then
            echo "bench: timed out after $2 s waiting for: $cmd" >&2
            return 1
        fi
        sleep 0.1
    done
}

# --- looking at the scenario from outside ----------------------------------

# One line per process: id TAB parent id TAB image name.
bench_process_list() { bench_probe list; }

# How many processes run the image NAME (compared in any case, like Windows).
bench_process_count() {
    bench_process_list | awk -F'\t' -v name="$1" 'tolower($3) == tolower(name) { n++ } END { print n + 0 }'
}

bench_process_running() { (($(bench_process_count "$1") > 0)); }

# RUNNING, STOPPED, START_PENDING, STOP_PENDING... or MISSING.
bench_service_state() {
    local state
    state=$(bench_wine_text sc query "$1" 2>/dev/null | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p')
    echo "${state:-MISSING}"
}

bench_service_is() { [[ $(bench_service_state "$1") == "$2" ]]; }

# The command lines the recorder NAME (iisreset) was started with, one a
# line, oldest first; with --full each line starts with the recorder's own
# path and a tab.
bench_recorded() {
    local file="$BENCH_LOG_DIR/$1.log"
    [[ -f $file ]] || return 0
    if [[ ${2:-} == --full ]]; then cat "$file"; else cut -f2- "$file"; fi
}

bench_recorded_count() { bench_recorded "$1" | wc -l; }

# What the bench's programs were given when they started: one line each
# (the recorder, the fixture as a program, the JET stand-in in the process it
# runs in): who TAB the privileges enabled in its token (a,b,c or -) TAB its
# command line.
bench_privileges() { cat "$BENCH_LOG_DIR/privileges.log" 2>/dev/null || true; }

# The file in the prefix that holds the run records of the database WINPATH,
# which the program's next start acts on: the path in lower case, each \, /
# and : made _, in ProgramData's folder of the program.
bench_record_file() {
    local name=${1,,}
    name=${name//[\\\/:]/_}
    echo "$WINEPREFIX/drive_c/ProgramData/Compact And Repair/$name.log"
}

# The grant lines a run logs for the database WINPATH on the host HOST, in
# order: the six on the file, then, unless it is in a drive's root, the six on
# its folder, which end in OUTCOME ("done, N entries, M skipped"). Wine names
# the groups as Windows does and knows none of the web server's accounts.
bench_grant_lines() {
    local db=$1 host=$2 folder=${1%\\*} target=$1 below="" outcome="done" name
    while :; do
        for name in administrators ASPNET IIS_WPG "IWAM_$host" "IUSR_$host" users; do
            case $name in
                administrators) printf 'Grant: full control of "%s"%s to BUILTIN\\Administrators (S-1-5-32-544): %s\n' \
                    "$target" "$below" "$outcome" ;;
                users) printf 'Grant: full control of "%s"%s to BUILTIN\\Users (S-1-5-32-545): %s\n' \
                    "$target" "$below" "$outcome" ;;
                *) printf 'Grant: no account "%s" on this machine; nothing granted on "%s"\n' "$name" "$target" ;;
            esac
        done
        [[ $target == "$db" && $folder != [A-Za-z]: ]] || return 0
        target=$folder below=" and everything below it" outcome=$3
    done
}

# The lines of a run log (the file LOG) from line FROM (default 1) on,
# without their time stamps.
bench_log_lines() { tail -n +"${2:-1}" "$1" 2>/dev/null | tr -d '\r' | cut -c25-; }

# Every start of a fixture: mode TAB pid TAB hold TAB command line, and
# "stopped:NAME TAB pid" for each service that stopped cleanly.
bench_started() { cat "$BENCH_LOG_DIR/started.log" 2>/dev/null || true; }

# A picture of the whole display; a relative FILE goes under $ARTIFACTS.
bench_screenshot() {
    local file=$1
    [[ $file == /* ]] || file="$ARTIFACTS/$file"
    mkdir -p "$(dirname "$file")"
    timeout 30 import -display "$DISPLAY" -window root "$file"
}

# --- the test data set -----------------------------------------------------

# A real JET 4 database that nobody here wrote: the example of the npm package
# node-adodb. Fetched once into $CAR_DATASET; prints its path.
bench_fetch_dataset() {
    if _bench_is_jet4 "$CAR_DATASET"; then
        echo "$CAR_DATASET"
        return 0
    fi
    local work
    work=$(mktemp -d)
    mkdir -p "$(dirname "$CAR_DATASET")"
    if (cd "$work" && npm pack --silent node-adodb@5.0.3 >/dev/null 2>&1) &&
        tar -xzf "$work/node-adodb-5.0.3.tgz" -C "$work" package/examples/node-adodb.mdb &&
        _bench_is_jet4 "$work/package/examples/node-adodb.mdb"; then
        mv "$work/package/examples/node-adodb.mdb" "$CAR_DATASET.part.$$"
        mv "$CAR_DATASET.part.$$" "$CAR_DATASET"
        rm -rf "$work"
        echo "$CAR_DATASET"
    else
        rm -rf "$work"
        echo "bench: could not fetch the test database (npm pack node-adodb@5.0.3)" >&2
        return 1
    fi
}

# The JET page signature, "Standard Jet DB", and version 1 (JET 4) at 0x14.
_bench_is_jet4() {
    [[ -s $1 ]] || return 1
    [[ $(od -An -tx1 -N21 "$1" | tr -d ' \n') == 000100005374616e64617264204a6574204442000[01]* ]] &&
        [[ $(od -An -tx1 -j20 -N1 "$1" | tr -d ' \n') == 01 ]]
}

# Copies the test database to the Windows path DEST (a file name), creating
# its folders. With --pad-mb MB it grows by MB megabytes of empty pages at
# its end: a large database for the engine to copy, whose tables and rows
# mdbtools still reads as the original's (no table points into the padding).
bench_database() {
    local source target
    source=$(bench_fetch_dataset) || bench_die "no test database"
    target=$(bench_unix_path "$1")
    mkdir -p "$(dirname "$target")"
    cp "$source" "$target"
    if [[ ${2:-} == --pad-mb ]]; then
        truncate -s "+${3}M" "$target"
    fi
}

# --- checks with a readable outcome ----------------------------------------

BENCH_FAILURES=0

# PASSED WHAT [WHY...]: prints "ok - WHAT" when PASSED is 1; else "FAIL -
# WHAT" and the lines WHY, and counts the failure.
_bench_verdict() {
    if (($1)); then
        echo "ok - $2"
    else
        echo "FAIL - $2"
        printf '  %s\n' "${@:3}"
        BENCH_FAILURES=$((BENCH_FAILURES + 1))
    fi
}

# bench_expect_eq WHAT WANT GOT: the two strings are equal.
bench_expect_eq() {
    local passed=0
    [[ $2 == "$3" ]] && passed=1
    _bench_verdict "$passed" "$1" "want: $(printf '%q' "$2")" "got:  $(printf '%q' "$3")"
}

# bench_expect WHAT CMD...: CMD must succeed.
bench_expect() {
    local passed=0
    "${@:2}" && passed=1
    _bench_verdict "$passed" "$1" "failed: ${*:2}"
}

# bench_expect_not WHAT CMD...: CMD must fail.
bench_expect_not() {
    local passed=1
    "${@:2}" && passed=0
    _bench_verdict "$passed" "$1" "succeeded: ${*:2}"
}

# Ends the test script: exit 0 only when no check failed.
bench_finish() {
    if ((BENCH_FAILURES)); then
        echo "$BENCH_FAILURES check(s) failed"
        exit 1
    fi
    exit 0
}

# The scenario's building blocks: products, services, programs, the server.
# shellcheck source=../bench/make_server.sh
source "$BENCH_REPO/tests/bench/make_server.sh"
