# shellcheck shell=bash
# Shared by the tests that call single procedures of the window class through
# form_probe.exe: runs one, answers its message boxes and keeps what it said.
# Source it after lib.sh.
# shellcheck disable=SC2034 # probe_out, probe_boxes, probe_box and probe_status are for the tests

bench_require_built "$BENCH_FORM_PROBE" "$BENCH_DRIVER"

# Runs one procedure through form_probe and answers every message box it
# shows: probe_out gets its output, probe_boxes the boxes' texts (the driver
# writes a box's line breaks as \r\n). The probe must end with the status
# probe_expect_status (default 0), the program's exit code when it ends at a
# box. The output goes through a file: a
# program the probe starts could inherit a pipe and keep it open. With
# probe_shot=NAME.png set, the first box is photographed before it is answered.
run_probe() {
    local out="$BENCH_TMP/probe.out" box pid deadline=$((SECONDS + BENCH_WINE_TIMEOUT))
    bench_wine "$BENCH_FORM_PROBE" "$@" >"$out" 2>>"$BENCH_WINE_LOG" &
    pid=$!
    probe_boxes=()
    if [[ -n ${probe_shot:-} ]] &&
        bench_wine "$BENCH_DRIVER" find-window-title "Compact And Repair" 20000 >/dev/null 2>>"$BENCH_WINE_LOG"; then
        # Wine may still be copying the box's pixels to the display.
        bench_wait_until "bench_screenshot $(printf '%q' "$probe_shot") && shot_shows_something $(printf '%q' "$probe_shot")" 5
    fi
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do
        if box=$(bench_wine_text "$BENCH_DRIVER" answer-box 500 2>/dev/null); then probe_boxes+=("$box"); fi
    done
    wait "$pid"
    probe_status=$?
    probe_out=$(tr -d '\r' <"$out")
    local want=${probe_expect_status:-0}
    ((probe_status == want)) || bench_expect_eq "form_probe $1 exits by itself with status $want" "$want" "$probe_status"
}

# A screenshot that is not all black.
shot_shows_something() {
    [[ $(convert "$ARTIFACTS/$1" -format '%[fx:maxima>0.1]' info: 2>/dev/null) == 1 ]]
}

# WHAT: the procedure ran to its end ("done") without a message box.
probe_expect_done() { bench_expect_eq "$1" "done|0" "$probe_out|${#probe_boxes[@]}"; }

# LABEL [NUMBER]: the procedure ended at one message box, having printed
# nothing; probe_box gets the box's text. With NUMBER, an extended regular
# expression, the box is the error boundary's: "Error NUMBER", a blank line
# and the description (PROBE_ANY_ERROR: any failure's number and hexadecimal).
PROBE_ANY_ERROR='-[0-9]+ \(0x8[0-9A-F]{7}\)'
probe_expect_one_box() {
    bench_expect_eq "$1: the program ended at its one message box, printing nothing" "1|" \
        "${#probe_boxes[@]}|$probe_out"
    probe_box=${probe_boxes[0]:-}
    echo "  box: $probe_box"
    (($# < 2)) || bench_expect "$1: the box is the error boundary's, the number first" \
        grep -Eq "^Error $2"'\\r\\n\\r\\n.' <<<"$probe_box"
}
