#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# One whole run as an administrator makes it on a busy server with everything
# installed: the three products (the two servers as services), both services
# running, the server and administration programs running and the servers
# holding the database. The database is large (padded by 64 MB), the engine
# takes 6 s to compact it, during which the window keeps answering, and the
# Teamharbor service takes 12.5 s to stop and let go of the database after it
# is asked to: the run waits for it to report Stopped, saying so, before it
# ends the servers' programs (its own log shows a clean stop), and then
# compacts. While the grants go through the database, a user tries to rename
# it away: the run holds it, so that fails. The data folder's tree holds a
# Unix symbolic link to a folder outside it and a second name (a hard link) of
# a file outside it: the grants leave both alone, say so in the log and the
# final text, and nothing outside changes. The run log, which every user
# could write before, can be written by administrators and SYSTEM alone after
# the run. The servers' and administration programs close when asked; one
# administration program ignores the request and is ended after the wait.
# Then "Open Data Folder" and "Exit". The program is started from a
# folder of its own that also holds a planted iisreset.exe, and the 32-bit
# system folder has none (as on a 64-bit Windows whose IIS tools are 64-bit
# only): neither may change what runs.
set -euo pipefail
# shellcheck source=e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"

e2e_start_server --pad-mb 64 --release-delay 12500
# An administration program that answers a request to close and stays.
stubborn=$(bench_start_program THAdmin.exe --ignore-close)
host=$(hostname)
# Outside the data folder, reached from inside it. Wine keeps a grant as the
# mode bits (it writes no security descriptor to the files' extended
# attributes), so the modes tell whether anything outside was granted.
folder=${BENCH_DB%\\*}
outside=$(bench_unix_path 'C:\Elsewhere')
mkdir -p "$outside" && echo notes >"$outside/notes.txt" && echo more >"$outside/inside.txt"
chmod 755 "$outside" && chmod 644 "$outside"/*
ln -s ../../Elsewhere "$(bench_unix_path "$folder\\Elsewhere")"
ln "$outside/notes.txt" "$(bench_unix_path "$folder\\notes.txt")"
outside_modes() { stat -c '%a %n' "$outside" "$outside"/*; }
outside_before=$(outside_modes)
e2e_snapshot_database
for service in "${E2E_SUITE_SERVICES[@]}"; do
    [[ $(e2e_service_starts "$service") == 1 ]] || bench_die "$service did not start once before the run"
done

# A log left writable by everyone (Wine makes access lists of the file's mode bits).
: >"$E2E_DB_FILE.log"
chmod 666 "$E2E_DB_FILE.log"
others_write() { grep -Ec ';(WD|BU|AU)\)' <<<"$(bench_probe acl "$BENCH_DB.log")" || true; }
bench_expect "before the run, the log grants others than administrators and SYSTEM" test "$(others_write)" -ge 1

tool_folder="$WINEPREFIX/drive_c/bench/tool"
mkdir -p "$tool_folder"
cp "$BENCH_EXE" "$tool_folder/CompactAndRepair.exe"
mv "$WINEPREFIX/drive_c/windows/syswow64/iisreset.exe" "$tool_folder/iisreset.exe"
pushd "$tool_folder" >/dev/null
BENCH_JET_COMPACT_MS=6000 E2E_EXE='C:\bench\tool\CompactAndRepair.exe' e2e_start_program
popd >/dev/null
bench_expect_eq "the title names the host" "Compact And Repair - $host" "$(e2e_driver text frmCompactAndRepair)"

# From outside, the window is asked again and again whether it answers.
bench_wine "$BENCH_DRIVER" --pid "$E2E_PID" responsiveness 150000 --until-visible cmdOpenDataFolder \
    --during "${E2E_COMPACTING[1]}" >"$BENCH_TMP/responsiveness.txt" 2>&1 &
probe_job=$!
e2e_begin_run full
# Once the grants have begun, a user who wants the database for something
# else; it must still be during the grants when the attempt returns.
taken="the grants never began"
if e2e_wait_for_status "${E2E_PERMISSIONS[1]}" 120; then
    taken=$(bench_probe try-move "$BENCH_DB" "$BENCH_DB.taken" | tr -d '\r') || true
    e2e_has_shown "${E2E_RESTARTING[0]}" && taken+=", but only after the grants"
fi
bench_expect "while the grants went through the database, renaming it away was refused ($taken)" \
    grep -Eqx 'error (5|32)' <<<"$taken"
e2e_expect_run_end "the run ends with Open Data Folder shown"
wait "$probe_job" || true
echo "# the run took $(e2e_elapsed_ms) ms"

# --- what the window said, in order, and the swapped database --------------------------
e2e_expect_swapped "the swap"
# The engine's copy is page for page and verified: the padding came along.
bench_expect_eq "the compacted database is the whole large database" "$E2E_DB_SUM" "$(sha256sum <"$E2E_DB_FILE")"
# How many seconds the run waited depends on how long its own steps took. The
# service is not ended while it stops: by the time its program would be, it
# has let go of the database, and the compaction needs no wait of its own.
waited=$(e2e_watch_lines | grep -c '^Waiting for Teamharbor to stop\.\.\. ' || true)
bench_expect "the run waited for the Teamharbor service to stop, less than 15 s ($waited texts)" \
    test "$waited" -ge 1 -a "$waited" -le 30
waiting=()
for ((second = 0; second < waited; second++)); do waiting+=("Waiting for Teamharbor to stop... $second s of at most 120 s"); done
# After the wait the step's own text is not shown a second time.
e2e_expect_timeline "every status text in order, the wait's among them, and no message box" "$E2E_READY_TEXT" \
    "${E2E_STOPPING[@]:0:5}" "${waiting[@]}" "${E2E_STOPPING[@]:5}" "${E2E_STOPPING_IIS[@]}" \
    "${E2E_COMPACTING[@]}" "${E2E_SWAPPING[@]}" "${E2E_PERMISSIONS[@]}" "${E2E_RESTARTING[@]}" \
    "${E2E_COMPLETE_PREFIX}$E2E_BACKUP\\r\\nThe permissions were not changed on 2 entries of the data folder's tree $folder (named in the run log)."

# The window answered during the compaction and never went silent for the
# five seconds after which Windows calls it "Not Responding".
sed 's/^/#   /' "$BENCH_TMP/responsiveness.txt"
reading() { sed -n "s/^$1: //p" "$BENCH_TMP/responsiveness.txt" | tr -d '\r'; }
bench_expect "the compaction lasted its 6 s" test "$(reading DURING_MS)" -ge 6000
bench_expect "the window answered during the compaction" test "$(reading DURING_ANSWERS)" -ge 1
bench_expect "it was never silent for 5 s during the compaction" test "$(reading DURING_LONGEST_SILENCE_MS)" -lt 5000

# IIS gets its half second before each waiting text, not after it: each text
# follows the one before by a whole progress step (a generous floor, so that a
# late look by the watch cannot fail it).
previous=$(e2e_status_time "Stopping IIS")
short=""
for i in 1 2 3 4 5; do
    now=$(e2e_status_time "Stopping IIS (Waiting...$i)")
    [[ -n $previous && -n $now ]] && ((now - previous >= 250)) || short+="$i "
    previous=$now
done
bench_expect_eq "each IIS waiting text shows after its half-second wait" "" "$short"

# --- the Finished window -------------------------------------------------------------
dump=$(e2e_final_dump)
bench_expect_eq "the tick stands at the status box's left" "visible=1 enabled=1 16,136,64,59" \
    "$(e2e_control imgTick <<<"$dump")"
bench_expect_eq "the status text moved right beside it: left 80 px, width 385 px" \
    "visible=1 enabled=1 80,136,385,57" "$(e2e_control lblStatus <<<"$dump")"
bench_expect_eq "the close button reads Exit and can be pressed" "visible=1 enabled=1 Exit" \
    "$(e2e_control cmdClose <<<"$dump" | cut -d' ' -f1-2) $(e2e_control_text cmdClose <<<"$dump")"
bench_expect_eq "Open Data Folder is shown" "visible=1 enabled=1" \
    "$(e2e_control cmdOpenDataFolder <<<"$dump" | cut -d' ' -f1-2)"
bench_expect_eq "the compact button is shown but disabled: one run per start" "visible=1 enabled=0" \
    "$(e2e_control cmdCompact <<<"$dump" | cut -d' ' -f1-2)"
bench_expect_eq "the progress bar is hidden" "visible=0" "$(e2e_control prjProgress <<<"$dump" | cut -d' ' -f1)"
bench_expect_eq "every product's picture stays, no stroke is shown" \
    "imgTH visible=1 imgTP visible=1 imgQO visible=1 thline visible=0 tpline visible=0 qoline visible=0" \
    "$(for c in imgTH imgTP imgQO thline tpline qoline; do printf '%s %s ' "$c" \
        "$(e2e_control "$c" <<<"$dump" | cut -d' ' -f1)"; done | sed 's/ $//')"

# Wine may still be copying the window's pixels to the display: poll until the
# tick's green is on the screen.
bench_expect "the tick is on the screen (e2e_full/finished.png)" bench_wait_until \
    'bench_screenshot e2e_full/finished.png && (($(e2e_tick_pixels "$ARTIFACTS/e2e_full/finished.png") > 500))' 5

# --- the suite afterwards ------------------------------------------------------------
e2e_expect_suite RUNNING "1 2"
bench_expect_eq "the restarted servers hold the database again" "error 32" \
    "$(bench_probe try-open "$BENCH_DB" read | tr -d '\r')"
e2e_expect_iisreset "IIS was stopped, then started" stop start
# The database, its log and the backup were granted; the link and the second name were not.
bench_expect_eq "the twelve grants, in order, the link and the second name skipped" \
    "$(bench_grant_lines "$BENCH_DB" "$host" "done, 3 entries, 2 skipped")" "$(e2e_log_lines | grep '^Grant: ')"
bench_expect_eq "the log names each entry left alone, and why" \
    "Not granted on \"$folder\\Elsewhere\": it is a junction, symbolic link or mount point, which the grants do not follow
Not granted on \"$folder\\notes.txt\": it has 2 names: another name of the file (a hard link) stands elsewhere" \
    "$(e2e_log_lines | grep '^Not granted on ' | sort)"
bench_expect_eq "nothing outside the data folder was granted" "$outside_before" "$(outside_modes)"
bench_expect_eq "after the run, the log grants Everyone, Users and Authenticated Users nothing" 0 "$(others_write)"
# The servers' programs were asked to close and did, letting go of the
# database; the stubborn one was ended once the database was free.
for server in THService QMSSrv; do
    bench_expect_eq "$server.exe closed when asked" 1 \
        "$(e2e_log_lines | grep -Ecx "$server\.exe \(pid [0-9]+\) closed when asked" || true)"
done
bench_expect_eq "only the program that ignored the request was ended, after the wait" \
    "THAdmin.exe (pid $stubborn) did not close within 2 s, and the database is free; it is ended|Terminate THAdmin.exe (pid $stubborn): 0" \
    "$(e2e_log_lines | grep -E "^(THAdmin.exe \(pid $stubborn\) did not|Terminate )" | paste -sd'|')"
bench_expect_eq "IIS was reset by the native system's iisreset" 'C:\windows\system32\iisreset.exe' \
    "$(bench_recorded iisreset --full | cut -f1 | sort -u)"

# --- Open Data Folder, then Exit ---------------------------------------------------------
e2e_driver click cmdOpenDataFolder >/dev/null
folder_name=${BENCH_DB%\\*}
folder_name=${folder_name##*\\}
explorer=$(e2e_driver find-window-title "$folder_name" 15000) || explorer=""
bench_expect_eq "a file browser titled \"$folder_name\" opens" ExplorerWClass "$(cut -f1 <<<"$explorer")"
bench_expect_eq "it is explorer.exe's window" explorer.exe \
    "$(bench_process_list | awk -F'\t' -v pid="$(cut -f2 <<<"$explorer")" '$1 == pid { print $3 }')"
bench_expect_eq "the program stays in its Finished state" "visible=1" \
    "$(e2e_driver dump | e2e_control imgTick | cut -d' ' -f1)"

e2e_driver click cmdClose >/dev/null
e2e_expect_exit "Exit ends the program with exit code 0" 0

bench_finish
