#!/usr/bin/env bash
# windows-installer-check.sh SETUP.exe SCREENSHOT.png: proves the installer
# under wine in a fresh prefix of its own, with no WINEPATH: a 64-bit
# installer, it installs silently into Program Files (not the 32-bit one)
# and writes its uninstall entry into the 64-bit registry view; the
# installed Lumora.exe starts from there and previews the simulated camera
# (screenshot check); lumora-ctl.exe lists cameras and writes a TIF
# snapshot; the virtual camera filters register, each in the registry view
# of its bitness (the 32-bit one only where 32-bit programs start); the
# agent's login entry is written only when chosen (/AGENT, a second silent
# install over the first) and starts lumora-agent.exe, a window-subsystem
# program (no console at login) that runs the agent and writes its log into
# the user's local application data; the silent uninstaller ends that
# running agent and then leaves no file, agent log, shortcut, uninstall
# entry, login entry or filter registration behind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup=$(readlink -f "$1")
shot=$(readlink -m "$2")
work=$(dirname "$setup")/installer-check
source "$root/scripts/wine32.sh"
rm -rf "$work"
mkdir -p "$work"

unset WINEPATH
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LUMORA_WINE=/usr/lib/wine/wine64
wine=$LUMORA_WINE
wineserver=/usr/lib/wine/wineserver
installed="$WINEPREFIX/drive_c/Program Files/Lumora"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Lumora.lnk"
# The user's Run entry for the agent, as wine's registry files hold it.
agent_entry='"Lumora agent"="\"C:\\Program Files\\Lumora\\lumora-agent.exe\""'
run_key='[Software\\Microsoft\\Windows\\CurrentVersion\\Run]'
fail() {
    echo "installer-check: $*" >&2
    exit 1
}
# Wine writes its registry files out when its server stops.
registry_has() {
    "$wineserver" -w
    grep -q -- "$1" "$WINEPREFIX"/*.reg
}
# The keys (as wine's registry files name them) that hold the text $1.
keys_holding() {
    "$wineserver" -w
    # From the environment: awk -v would undo the files' escapes.
    text=$1 awk '/^\[/ { key = $0; sub(/\] .*/, "]", key) }
        index($0, ENVIRON["text"]) { print key }' "$WINEPREFIX"/*.reg | sort -u
}
# Whether a key holding $1 is in the 64-bit view ("64") or the 32-bit
# one ("32"), which wine keeps under Wow6432Node.
registered_in_view() {
    if [ "$2" = 32 ]; then
        keys_holding "$1" | grep -q 'Wow6432Node'
    else
        keys_holding "$1" | grep -vq 'Wow6432Node'
    fi
}

x86_64-w64-mingw32-objdump -f "$setup" | grep -q "file format pei-x86-64" || fail "$setup is not a 64-bit program"

echo "installer-check: a fresh prefix"
xvfb-run -a "$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w

echo "installer-check: silent install"
xvfb-run -a "$wine" "$setup" /S >"$work/setup.log" 2>&1 ||
    fail "the installer did not run: $(tail -n 3 "$work/setup.log")"
"$wineserver" -w
for file in Lumora.exe lumora-ctl.exe lumora-agent.exe qt.conf uvc_upgrade.dll lumora-upgrade-relay.exe \
    VideoCaptureFilter.dll uninstall.exe plugins/platforms/qwindows.dll \
    plugins/imageformats/qtiff.dll plugins/imageformats/qwebp.dll; do
    [ -f "$installed/$file" ] || fail "$file was not installed"
done
[ ! -e "$WINEPREFIX/drive_c/Program Files (x86)/Lumora" ] ||
    fail "installed into the 32-bit Program Files"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
strings "$shortcut" | grep -qF 'C:\Program Files\Lumora\Lumora.exe' ||
    fail "the shortcut does not lead to the installed Lumora.exe"
# One entry, in the 64-bit view: none under Wow6432Node.
entry=$(keys_holding '"UninstallString"="\"C:\\Program Files\\Lumora\\uninstall.exe\""')
[ "$entry" = '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumora]' ] ||
    fail "no entry among the installed programs in the 64-bit registry view: ${entry:-none}"

! registry_has "Lumora agent" || fail "the agent's login entry was written though not chosen"
# Windows opens a console window for a console program (subsystem 3) that
# the login starts; the launcher is a window program (subsystem 2).
# Read whole first: grep -q would end the pipe early, and pipefail count
# objdump's broken pipe as a failure.
headers=$(x86_64-w64-mingw32-objdump -p "$installed/lumora-agent.exe")
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" ||
    fail "lumora-agent.exe is no window-subsystem program"

echo "installer-check: the installed program"
bash "$root/scripts/windows-screenshot.sh" "$installed/Lumora.exe" "$shot"
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w

# lumora-ctl from another folder, by its installed path.
cd "$work"
ctl='C:\Program Files\Lumora\lumora-ctl.exe'
LUMORA_SIMULATED_CAMERAS=1 "$wine" "$ctl" list </dev/null >"$work/list.txt" 2>"$work/list.err" ||
    fail "lumora-ctl list failed: $(cat "$work/list.err")"
grep -q "Lumora Simulated Camera" "$work/list.txt" || fail "lumora-ctl list shows no camera"
LUMORA_SIMULATED_CAMERAS=1 "$wine" "$ctl" snapshot 0 'Z:'"${work//\//\\}"'\shot.tif' \
    </dev/null >/dev/null 2>"$work/snapshot.err" || fail "lumora-ctl snapshot failed: $(cat "$work/snapshot.err")"
[ "$(identify -format '%m %wx%h' "$work/shot.tif")" = "TIFF 1280x720" ] ||
    fail "the snapshot is not a 1280x720 TIFF"

# The filters as the program's switch registers them, each with the tool of
# its bitness.
filters=0
if [ -f "$installed/virtual/vcam_dshow.dll" ]; then
    "$wine" regsvr32 /s 'C:\Program Files\Lumora\virtual\vcam_dshow.dll' </dev/null
    registered_in_view "Vorn DShow VCamera" 64 || fail "the 64-bit filter did not register"
    filters=$((filters + 1))
fi
if [ -f "$installed/virtual/x86/vcam_dshow.dll" ]; then
    if wine_runs_32bit; then
        "$wine" 'C:\windows\syswow64\regsvr32.exe' /s 'C:\Program Files\Lumora\virtual\x86\vcam_dshow.dll' </dev/null
        registered_in_view "Vorn DShow VCamera" 32 || fail "the 32-bit filter did not register"
        filters=$((filters + 1))
    else
        echo "installer-check: this machine runs no 32-bit x86 programs; the 32-bit filter's registration is skipped"
    fi
fi
[ "$filters" -gt 0 ] ||
    echo "installer-check: no virtual camera filter in this build; its registration is not checked"

echo "installer-check: silent install with the agent at login"
xvfb-run -a "$wine" "$setup" /S /AGENT >"$work/setup-agent.log" 2>&1 ||
    fail "the installer did not run with /AGENT: $(tail -n 3 "$work/setup-agent.log")"
[ "$(keys_holding "$agent_entry")" = "$run_key" ] ||
    fail "no login entry for lumora-agent.exe in the user's Run key"

echo "installer-check: the login entry's agent"
user_local=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -n 1)
agent_log="$user_local/Lumora/agent.log"
rm -f "$agent_log"
LUMORA_SIMULATED_CAMERAS=1 "$wine" 'C:\Program Files\Lumora\lumora-agent.exe' \
    </dev/null >"$work/agent.out" 2>&1 &
agent=$!
for _ in $(seq 240); do
    grep -q "agent started" "$agent_log" 2>/dev/null && break
    kill -0 "$agent" 2>/dev/null || break
    sleep 0.5
done
grep -q "agent started" "$agent_log" 2>/dev/null ||
    fail "lumora-agent.exe wrote no running agent into $agent_log: $(cat "$agent_log" 2>/dev/null)"

echo "installer-check: silent uninstall (the agent running)"
"$wine" 'C:\Program Files\Lumora\uninstall.exe' /S </dev/null >"$work/uninstall.log" 2>&1
for _ in $(seq 120); do
    kill -0 "$agent" 2>/dev/null || break
    sleep 0.5
done
! kill -0 "$agent" 2>/dev/null || fail "the uninstaller left the agent running"
"$wineserver" -w
[ ! -e "$agent_log" ] || fail "the agent's log was left behind"
if [ -e "$installed" ]; then
    fail "left behind: $(cd "$installed" && find . | head -20)"
fi
[ ! -e "$shortcut" ] || fail "the shortcut was left behind"
! registry_has 'Uninstall\\\\Lumora' || fail "the uninstall entry was left behind"
! registry_has "Vorn DShow VCamera" || fail "a filter registration was left behind"
! registry_has "Lumora agent" || fail "the agent's login entry was left behind"
echo "installer-check: installed, ran, and uninstalled without a trace ($filters filter(s) registered and removed)"
