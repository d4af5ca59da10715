#!/usr/bin/env bash
# Sets up, builds and starts Lumora. Without a USB camera it runs with the
# simulated camera; without a display it runs under Xvfb, switches the
# preview on and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

bash scripts/setup.sh
# ccache keeps rebuilds after small changes short; a clean machine gains nothing
# and loses nothing.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/app -DCMAKE_BUILD_TYPE=Release -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build/app -j"$(nproc)"

has_usb_camera() {
    local node
    for node in /sys/class/video4linux/video*; do
        [ -e "$node" ] || continue
        if readlink -f "$node/device" | grep -q '/usb'; then
            return 0
        fi
    done
    return 1
}

if [ -z "${LUMORA_SIMULATED_CAMERAS:-}" ] && ! has_usb_camera; then
    echo "run: no USB camera attached, using the simulated camera"
    export LUMORA_SIMULATED_CAMERAS=1
fi

# The program finds its companion libraries and its virtual camera component
# relative to where it is started.
cd build/app/bin

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./Lumora
fi

echo "run: no display, starting Xvfb"
source "$ROOT/scripts/headless.sh"
start_xvfb
./Lumora &
app_pid=$!
if ! window=$(find_lumora_window 10); then
    echo "run: the window did not appear" >&2
    exit 1
fi

# Give discovery a pass to open the camera, then switch the preview on the
# way a user does.
sleep 2
xdotool mousemove --window "$window" 440 604 click 1 2>/dev/null || true
sleep 3
mkdir -p "$ROOT/out"
import -window root "$ROOT/out/screenshot.png"
echo "run: screenshot saved to $ROOT/out/screenshot.png"
echo "run: Lumora is running headless on DISPLAY=$DISPLAY (Ctrl-C to stop)"
wait "$app_pid"
