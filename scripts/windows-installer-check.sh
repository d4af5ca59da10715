#!/usr/bin/env bash
# windows-installer-check.sh SETUP.exe SCREENSHOT.png: proves the installer
# under wine in a fresh prefix of its own, with no WINEPATH: it installs
# silently into Program Files; the installed Lumora.exe starts from there
# and previews the simulated camera (screenshot check); lumora-ctl.exe lists
# cameras and writes a TIF snapshot; the virtual camera filters register;
# the silent uninstaller then leaves no file, shortcut, uninstall entry or
# filter registration behind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup=$(readlink -f "$1")
shot=$(readlink -m "$2")
work=$(dirname "$setup")/installer-check
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
fail() {
    echo "installer-check: $*" >&2
    exit 1
}
# Wine writes its registry files out when its server stops.
registry_has() {
    "$wineserver" -w
    grep -q -- "$1" "$WINEPREFIX"/*.reg
}

echo "installer-check: a fresh prefix"
xvfb-run -a "$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w

echo "installer-check: silent install"
xvfb-run -a "$wine" "$setup" /S >"$work/setup.log" 2>&1 ||
    fail "the installer did not run: $(tail -n 3 "$work/setup.log")"
"$wineserver" -w
for file in Lumora.exe lumora-ctl.exe qt.conf uvc_upgrade.dll lumora-upgrade-relay.exe \
    VideoCaptureFilter.dll uninstall.exe plugins/platforms/qwindows.dll \
    plugins/imageformats/qtiff.dll plugins/imageformats/qwebp.dll; do
    [ -f "$installed/$file" ] || fail "$file was not installed"
done
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
registry_has 'Uninstall\\\\Lumora' || fail "no entry among the installed programs"

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
    filters=$((filters + 1))
fi
if [ -f "$installed/virtual/x86/vcam_dshow.dll" ]; then
    "$wine" 'C:\windows\syswow64\regsvr32.exe' /s 'C:\Program Files\Lumora\virtual\x86\vcam_dshow.dll' </dev/null
    filters=$((filters + 1))
fi
if [ "$filters" -gt 0 ]; then
    registry_has "Vorn DShow VCamera" || fail "the filters did not register"
else
    echo "installer-check: no virtual camera filter in this build; its registration is not checked"
fi

echo "installer-check: silent uninstall"
"$wine" 'C:\Program Files\Lumora\uninstall.exe' /S </dev/null >"$work/uninstall.log" 2>&1
"$wineserver" -w
if [ -e "$installed" ]; then
    fail "left behind: $(cd "$installed" && find . | head -20)"
fi
[ ! -e "$shortcut" ] || fail "the shortcut was left behind"
! registry_has 'Uninstall\\\\Lumora' || fail "the uninstall entry was left behind"
! registry_has "Vorn DShow VCamera" || fail "a filter registration was left behind"
echo "installer-check: installed, ran, and uninstalled without a trace ($filters filter(s) registered and removed)"
