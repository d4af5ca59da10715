#!/usr/bin/env bash
# windows-screenshot.sh LUMORA_EXE OUT.png: starts the Windows program under
# wine in a fresh Xvfb with the simulated camera, switches the preview on as
# a user does and saves a screenshot. Called by scripts/windows.sh, which
# sets up WINEPREFIX and WINEPATH.
set -euo pipefail
exe=$(readlink -f "$1")
out=$(readlink -m "$2")
wine=${LUMORA_WINE:-/usr/lib/wine/wine64}

source "$(dirname "$0")/headless.sh"
start_xvfb

# The program finds its companion libraries relative to where it starts.
# Its log goes beside the screenshot: an installed program's folder stays
# as the installer left it.
mkdir -p "$(dirname "$out")"
log=$(dirname "$out")/lumora-wine.log
cd "$(dirname "$exe")"
# Suites run before in this prefix leave their settings in its registry:
# the window is shown as a user first sees it.
"$wine" reg delete 'HKCU\Software\Lumora' /f >/dev/null 2>&1 || true
LUMORA_SIMULATED_CAMERAS=1 "$wine" "$(basename "$exe")" >"$log" 2>&1 &
app_pid=$!

if ! window=$(find_lumora_window 120); then
    echo "windows-screenshot: the window did not appear" >&2
    tail -20 "$log" >&2
    exit 1
fi
# Discovery opens the only camera by itself; then the preview switch
# (wine draws no title bar: the window is its client area).
sleep 4
xdotool mousemove --window "$window" 440 604 click 1 2>/dev/null || true
sleep 8
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "windows-screenshot: saved $out"

# The preview (800 by 530 at the window's top, right of the settings pages)
# must show a picture, not the black of a preview that never started.
eval "$(xdotool getwindowgeometry --shell "$window")"
spread=$(convert "$out" -crop "800x530+$((X + 359))+$Y" +repage -colorspace Gray \
    -format '%[fx:standard_deviation]' info:)
echo "windows-screenshot: preview brightness spread $spread"
if awk -v s="$spread" 'BEGIN { exit !(s < 0.05) }'; then
    echo "windows-screenshot: the preview shows no picture" >&2
    exit 1
fi
