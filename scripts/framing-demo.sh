#!/usr/bin/env bash
# Shows auto framing in the window on the simulated camera under Xvfb: the
# "demo" room (one person off centre, a second joining, walking, leaving),
# preview on, "Show faces" and "Auto framing" switched on as a user does, a
# screenshot every two seconds, put together as docs/auto-framing.gif.
#   bash scripts/framing-demo.sh [BUILD_DIR]    (default build/app)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build/app}"
frames="$(mktemp -d)"
source "$ROOT/scripts/headless.sh"
start_xvfb
cd "$BUILD/bin"
LUMORA_SIMULATED_CAMERAS=1 LUMORA_SIMULATED_SCENE=demo ./Lumora >/dev/null 2>&1 &
app_pid=$!
window=$(find_lumora_window 10)
sleep 2
xdotool mousemove --window "$window" 440 604 click 1 # Video Preview
sleep 2
xdotool mousemove --window "$window" 148 628 click 1 # Show faces
xdotool mousemove --window "$window" 300 628 click 1 # Auto framing
for i in $(seq -w 1 24); do
    import -window root -crop 1159x714+0+0 +repage "$frames/$i.png"
    sleep 2
done
mkdir -p "$ROOT/docs"
convert -delay 100 -loop 0 "$frames"/*.png -resize 50% -layers Optimize "$ROOT/docs/auto-framing.gif"
cp "$frames/08.png" "$ROOT/docs/auto-framing.png"
rm -r "$frames"
echo "framing-demo: docs/auto-framing.gif and docs/auto-framing.png written"
