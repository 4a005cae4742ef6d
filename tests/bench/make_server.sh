#!/usr/bin/env bash
# The simulated suite server's building blocks, sourced by tests/wine/lib.sh:
# the data source, the products' registry keys, the services and the running
# programs, and bench_make_server that puts a whole server together.
#
# Run on its own it starts a bench, builds a server and waits, so that the
# server can be looked at by hand (WINEPREFIX and DISPLAY are printed):
#
#   tests/bench/make_server.sh [bench_make_server options]

# --- registry ----------------------------------------------------------------

# A text as a .reg file writes it: backslashes and quotes escaped.
_bench_reg_string() {
    local text=${1//\\/\\\\}
    printf '%s' "${text//\"/\\\"}"
}

# Imports the .reg lines read from standard input into the registry view
# VIEW (32 or 64) in one wine call. The file is UTF-16 with a byte order
# mark, as regedit writes it, so paths may hold any letter.
_bench_reg_import() {
    local view=$1 file
    file=$(mktemp "$BENCH_TMP/import.XXXXXX.reg")
    { printf 'Windows Registry Editor Version 5.00\n\n' && cat && printf '\n'; } |
        sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16 >"$file"
    bench_wine reg import "$(bench_windows_path "$file")" "/reg:$view" >>"$BENCH_WINE_LOG" 2>&1 ||
        bench_die "reg import failed: $(iconv -f UTF-16 -t UTF-8 "$file")"
}

# The data source's DBQ value, in the 32-bit view where a 32-bit JET data
# source keeps it.
bench_set_dbq() {
    _bench_reg_import 32 <<EOF
[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\QuorvinCollaborationSuite]
"DBQ"="$(_bench_reg_string "$1")"
EOF
}

# bench_install_product teamharbor|mailserver|organizer [options]
#
# Makes the product's key under HKLM\SOFTWARE\Quorvin (32-bit view) with named
# values only, as the suite's setup does: the key has no default value.
# Teamharbor and the mail server also get Setup\Folder (a folder holding the
# server's program file, a copy of the fixture) and Setup\installAsExe
# (DWORD 0: installed as a service). Options:
#   --folder PATH            Setup\Folder (default C:\Program Files\Quorvin\<key>)
#   --as-exe | --as-service  installAsExe DWORD 1 or 0
#   --install-mode-text TEXT installAsExe as the string TEXT
#   --no-folder-value        no Setup\Folder value
#   --no-install-mode        no Setup\installAsExe value
#   --no-setup               no Setup key at all (the Organizer's default)
#   --no-program-file        do not put the program file into the folder
bench_install_product() {
    local product=$1 key program setup=yes
    shift
    case $product in
        teamharbor) key=Teamharbor program=THSERVICE.EXE ;;
        mailserver) key=Teampost program=QMSSrv.EXE ;;
        organizer) key=QuorvinOrganizer program='' setup=no ;;
        *) bench_die "bench_install_product: unknown product $product" ;;
    esac
    local folder="C:\\Program Files\\Quorvin\\$key" mode='dword:00000000'
    local with_folder=yes with_mode=yes with_program=yes
    while (($#)); do
        case $1 in
            --folder) folder=$2 setup=yes && shift ;;
            --as-exe) mode='dword:00000001' setup=yes ;;
            --as-service) mode='dword:00000000' setup=yes ;;
            --install-mode-text) mode="\"$(_bench_reg_string "$2")\"" setup=yes && shift ;;
            --no-folder-value) with_folder=no ;;
            --no-install-mode) with_mode=no ;;
            --no-setup) setup=no ;;
            --no-program-file) with_program=no ;;
            *) bench_die "bench_install_product: unknown option $1" ;;
        esac
        shift
    done
    {
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\%s]\n"ProductName"="%s"\n\n' "$key" "$key"
        if [[ $setup == yes ]]; then
            printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvin\\%s\\Setup]\n' "$key"
            [[ $with_folder == yes ]] && printf '"Folder"="%s"\n' "$(_bench_reg_string "$folder")"
            [[ $with_mode == yes ]] && printf '"installAsExe"=%s\n' "$mode"
        fi
    } | _bench_reg_import 32
    if [[ $setup == yes && -n $program && $with_program == yes && $folder == [cC]:* ]]; then
        bench_place_fixture "$folder\\$program"
    fi
    # The Organizer comes with IIS: its web service, which the iisreset
    # recorder stops and starts.
    if [[ $product == organizer ]] && bench_service_is W3SVC MISSING; then bench_install_service W3SVC; fi
}

# Copies the fixture program to the Windows path DEST (C:), creating folders.
bench_place_fixture() {
    local target
    target=$(bench_unix_path "$1")
    mkdir -p "$(dirname "$target")"
    cp "$WINEPREFIX/drive_c/bench/bin/fixture_service.exe" "$target"
}

# Takes a program (iisreset.exe, say) away from every system folder,
# for a machine that lacks it.
bench_remove_system_program() {
    rm -f "$WINEPREFIX/drive_c/windows/system32/$1" "$WINEPREFIX/drive_c/windows/syswow64/$1"
}

# --- services and programs ----------------------------------------------------

# bench_install_service NAME [HOLD_PATH|-] [--no-start] [--release-delay MS]
#
# Installs the fixture as the service NAME (own process, demand start) in
# Wine's service control manager, holding HOLD_PATH open while it runs, and
# starts it and waits until it is RUNNING. The service's program file is
# fixture_service.exe, not a suite program name, so that ending the suite's
# programs by name does not stop the service behind the test's back. With
# --release-delay, a stop request leaves it STOP_PENDING and holding its file
# for MS milliseconds before it closes the file and stops.
bench_install_service() {
    local name=$1 hold=${2:--} start=yes delay=""
    shift $(($# < 2 ? $# : 2))
    while (($#)); do
        case $1 in
            --no-start) start=no ;;
            --release-delay) delay=$2 && shift ;;
            *) bench_die "bench_install_service: unknown option $1" ;;
        esac
        shift
    done
    local command="$BENCH_BIN\\fixture_service.exe --name \"$name\""
    [[ $hold != - ]] && command+=" --hold \"$hold\""
    [[ -n $delay ]] && command+=" --release-delay $delay"
    bench_wine sc create "$name" binPath= "$command" >>"$BENCH_WINE_LOG" 2>&1 ||
        bench_die "sc create $name failed"
    [[ $start == yes ]] || return 0
    bench_start_service "$name"
}

bench_start_service() {
    bench_wine sc start "$1" >>"$BENCH_WINE_LOG" 2>&1 || bench_die "sc start $1 failed"
    bench_wait_until "bench_service_is $(printf '%q' "$1") RUNNING" 20 || bench_die "service $1 did not start"
}

# bench_start_program NAME.exe|PATH [--hold PATH] [--mark PATH] [--name TEXT] [--ignore-close]
#
# Starts a copy of the fixture as a plain program, detached, and prints its
# process id once it runs (and holds its file, if asked to). NAME.exe runs
# from C:\bench\bin (copied there from the fixture if new); a full Windows
# path runs that file.
bench_start_program() {
    local exe=$1 args="" held=no
    shift
    if [[ $exe != *\\* ]]; then
        [[ -f $(bench_unix_path "$BENCH_BIN\\$exe") ]] || bench_place_fixture "$BENCH_BIN\\$exe"
        exe="$BENCH_BIN\\$exe"
    fi
    while (($#)); do
        case $1 in
            --hold) args+=" --hold \"$2\"" held=yes ;;
            --mark) args+=" --mark \"$2\"" ;;
            --name) args+=" --name \"$2\"" ;;
            # Answers a request to close and stays until it is ended.
            --ignore-close) args+=" --ignore-close" && set -- "$1" "" "${@:2}" ;;
            *) bench_die "bench_start_program: unknown option $1" ;;
        esac
        shift 2
    done
    local before pid line
    before=$(bench_started | wc -l)
    pid=$(bench_probe spawn "\"$exe\"$args" | tr -d '\r')
    [[ $pid =~ ^[0-9]+$ ]] || bench_die "could not start $exe: $pid"
    # The fixture logs its start once it holds its file.
    local started="bench_started | tail -n +$((before + 1)) | grep -q \$'^program\\t$pid\\t'"
    bench_wait_until "$started" 15 || bench_die "$exe (pid $pid) did not start"
    line=$(bench_started | tail -n +$((before + 1)) | grep $'^program\t'"$pid"$'\t')
    if [[ $held == yes && $(cut -f3 <<<"$line") != held ]]; then
        bench_die "$exe could not hold its file: $line"
    fi
    echo "$pid"
}

# --- a whole server -------------------------------------------------------------

# bench_make_server [options]
#
# The simulated suite server in one call: the test database at
# $BENCH_DEFAULT_DB (or --db) named by the data source; the products' keys;
# the services "Teamharbor" and "Quorvin Mail Server" running and holding the
# database, and with the Organizer a stand-in for IIS's web service W3SVC
# (bench_install_product); THService.exe and QMSSrv.exe running and holding it; THAdmin.exe,
# TPAdmin.exe and QOAdmin.exe running. Sets BENCH_DB to the database's path.
#   --products LIST   comma-separated of teamharbor,mailserver,organizer
#                     (default all three; "none" for none)
#   --as-exe LIST     those servers installed as programs (installAsExe 1)
#   --db PATH         the database's Windows path
#   --no-services     no services installed
#   --no-programs     no programs running
#   --release-delay MS  the Teamharbor service holds the database MS ms after
#                     it is asked to stop (bench_install_service)
#   --pad-mb MB       the database padded by MB megabytes (bench_database)
bench_make_server() {
    local products=teamharbor,mailserver,organizer as_exe="" services=yes programs=yes delay=() pad=()
    BENCH_DB=$BENCH_DEFAULT_DB
    while (($#)); do
        case $1 in
            --products) products=$2 && shift ;;
            --as-exe) as_exe=$2 && shift ;;
            --db) BENCH_DB=$2 && shift ;;
            --no-services) services=no ;;
            --no-programs) programs=no ;;
            --release-delay) delay=(--release-delay "$2") && shift ;;
            --pad-mb) pad=(--pad-mb "$2") && shift ;;
            *) bench_die "bench_make_server: unknown option $1" ;;
        esac
        shift
    done
    bench_database "$BENCH_DB" "${pad[@]}"
    bench_set_dbq "$BENCH_DB"
    local product
    for product in ${products//,/ }; do
        [[ $product == none ]] && continue
        if [[ ,$as_exe, == *,$product,* ]]; then
            bench_install_product "$product" --as-exe
        else
            bench_install_product "$product"
        fi
    done
    if [[ $services == yes ]]; then
        bench_install_service Teamharbor "$BENCH_DB" "${delay[@]}"
        bench_install_service "Quorvin Mail Server" "$BENCH_DB"
    fi
    if [[ $programs == yes ]]; then bench_start_suite_programs; fi
    if [[ $services == yes || $programs == yes ]]; then
        # What the server is for: nobody can take the database for himself.
        [[ $(bench_probe try-open "$BENCH_DB" read) == "error 32" ]] ||
            bench_die "the database is not held by the server"
    fi
    export BENCH_DB
}

# The suite's five programs, the two servers holding the database BENCH_DB.
bench_start_suite_programs() {
    bench_start_program THService.exe --hold "$BENCH_DB" >/dev/null
    bench_start_program QMSSrv.exe --hold "$BENCH_DB" >/dev/null
    local program
    for program in THAdmin.exe TPAdmin.exe QOAdmin.exe; do bench_start_program "$program" >/dev/null; done
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    set -euo pipefail
    # lib.sh sources this file in turn; shellcheck need not follow the loop.
    # shellcheck source=/dev/null
    source "$(dirname "${BASH_SOURCE[0]}")/../wine/lib.sh"
    bench_start
    bench_make_server "$@"
    echo "WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
    bench_process_list
    echo "Teamharbor: $(bench_service_state Teamharbor)"
    echo "Quorvin Mail Server: $(bench_service_state "Quorvin Mail Server")"
    if [[ -t 0 ]]; then
        read -r -p "The server runs until Enter is pressed. " _
    fi
fi
