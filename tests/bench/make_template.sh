#!/usr/bin/env bash
# Makes the template Wine prefix of the simulated suite server, once:
#
#   tests/bench/make_template.sh BUILD_DIR TEMPLATE_DIR
#
# BUILD_DIR is the Windows build (mingw-w64); the template is written to
# TEMPLATE_DIR/prefix. Every test copies the template into a prefix of its own
# (tests/wine/lib.sh), which takes well under a second where booting a prefix
# takes some 20 s. A stamp holds a hash of every input, so that a second call
# with nothing changed returns at once.
#
# The prefix is Wine's default for the machine: 64-bit with WoW64 where wine64
# is installed (scripts/bootstrap installs it), like the 64-bit servers the
# program runs on, so a 32-bit program reads the registry's 32-bit view
# (Wow6432Node) and finds its system folder in syswow64 as it does there.
# With only the 32-bit Wine present (or WINEARCH=win32) it is a 32-bit prefix
# instead; everything below works in both.
#
# Besides what wineboot makes, the template has:
#   - HKCU\Software\Wine\X11 Driver: Decorated=N and Managed=N (no window
#     manager under Xvfb: Wine draws frames itself, and hiding a window does
#     not stall its thread for 2 s);
#   - marlett.ttf in windows\Fonts (the glyphs of title-bar buttons and
#     check marks);
#   - the recorder as iisreset.exe (which Wine lacks) in every system folder;
#   - C:\bench\bin: the fixture program under the suite's program names, the
#     recorder, the probe, and the JET engine and DAO stand-ins (registered)
#     when they are built; C:\bench\log for the logs the fixtures and
#     the recorder write.
set -euo pipefail

if (($# != 2)); then
    echo "usage: $0 BUILD_DIR TEMPLATE_DIR" >&2
    exit 2
fi
build_dir="$(cd "$1" && pwd)"
template="$(mkdir -p "$(dirname "$2")" && cd "$(dirname "$2")" && pwd)/$(basename "$2")"
self="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"

fixtures="$build_dir/tests/bench/fixtures"
jet_engine="$build_dir/tests/bench/jet_engine/jet_engine.dll"
dao_engine="$build_dir/tests/bench/dao_engine/dao_engine.dll"
marlett=/usr/share/wine/fonts/marlett.ttf
suite_programs=(THService.exe QMSSrv.exe THAdmin.exe TPAdmin.exe QOAdmin.exe)

for f in "$fixtures/fixture_service.exe" "$fixtures/recorder.exe" "$fixtures/bench_probe.exe" "$marlett"; do
    if [[ ! -f $f ]]; then
        echo "make_template: missing $f (build the Windows preset; install fonts-wine)" >&2
        exit 1
    fi
done

arch="${WINEARCH:-}"
if [[ -z $arch ]]; then
    if [[ -x /usr/lib/wine/wine64 ]]; then arch=win64; else arch=win32; fi
fi

inputs_hash() {
    {
        echo "arch $arch"
        wine --version
        sha256sum "$self" "$fixtures/fixture_service.exe" "$fixtures/recorder.exe" "$fixtures/bench_probe.exe" \
            "$marlett"
        if [[ -f $jet_engine ]]; then sha256sum "$jet_engine"; else echo "no jet engine"; fi
        if [[ -f $dao_engine ]]; then sha256sum "$dao_engine"; else echo "no dao engine"; fi
    } | sha256sum | cut -d' ' -f1
}

wanted="$(inputs_hash)"
up_to_date() { [[ -d $template/prefix && -f $template/stamp && $(cat "$template/stamp") == "$wanted" ]]; }
up_to_date && exit 0

# One builder at a time; whoever waited finds the work done.
exec 9>"$template.lock"
flock 9
up_to_date && exit 0

started=$SECONDS
work="$template.new.$$"
rm -rf "$work"
mkdir -p "$work"
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

export WINEPREFIX="$work/prefix" WINEARCH="$arch" WINEDEBUG=-all
# No display: nothing of the boot needs one, and no window should pop up on
# a developer's screen. No Mono/Gecko installer either (it would wait for the
# network), and no menu entries written into the user's home.
unset DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe="
log="$work/boot.log"
echo "make_template: booting a $arch prefix (about 20 s)" >&2
timeout 180 wineboot -i >"$log" 2>&1 || {
    cat "$log" >&2
    exit 1
}

drive_c="$WINEPREFIX/drive_c"
system_folders=("$drive_c/windows/system32")
[[ -d $drive_c/windows/syswow64 ]] && system_folders+=("$drive_c/windows/syswow64")

cp "$marlett" "$drive_c/windows/Fonts/"
for folder in "${system_folders[@]}"; do
    cp "$fixtures/recorder.exe" "$folder/iisreset.exe"
done
mkdir -p "$drive_c/bench/bin" "$drive_c/bench/log"
cp "$fixtures/fixture_service.exe" "$fixtures/recorder.exe" "$fixtures/bench_probe.exe" "$drive_c/bench/bin/"
for program in "${suite_programs[@]}"; do
    cp "$fixtures/fixture_service.exe" "$drive_c/bench/bin/$program"
done

# Settings of the current user; the .reg file is UTF-16 as regedit writes it.
settings="$work/settings.reg"
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Decorated"="N"\r\n"Managed"="N"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"winemenubuilder.exe"=""\r\n\r\n'
    # A crashing program must end, not wait for someone to close a dialog.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
} | iconv -f UTF-8 -t UTF-16 >"$settings"
timeout 60 wine reg import "Z:${settings//\//\\}" >>"$log" 2>&1 || {
    cat "$log" >&2
    exit 1
}

# The stand-ins, each registered with the 32-bit regsvr32, so that its class lands in the 32-bit view.
regsvr32='C:\windows\system32\regsvr32.exe'
[[ -d $drive_c/windows/syswow64 ]] && regsvr32='C:\windows\syswow64\regsvr32.exe'
for server in "$jet_engine" "$dao_engine"; do
    if [[ ! -f $server ]]; then
        echo "make_template: $server not built; the template has no $(basename "$server" .dll) stand-in" >&2
        continue
    fi
    cp "$server" "$drive_c/bench/bin/"
    timeout 60 wine "$regsvr32" /s "C:\\bench\\bin\\$(basename "$server")" >>"$log" 2>&1 || {
        echo "make_template: registering $(basename "$server") failed" >&2
        cat "$log" >&2
        exit 1
    }
done

# Wait until the prefix's own processes are gone and the registry is saved.
timeout 120 wineserver -w

echo "$arch" >"$work/arch"
echo "$wanted" >"$work/stamp"
trap - EXIT
if [[ -d $template ]]; then
    mv "$template" "$template.old.$$"
    mv "$work" "$template"
    rm -rf "$template.old.$$"
else
    mv "$work" "$template"
fi
echo "make_template: $template ready in $((SECONDS - started)) s" >&2
