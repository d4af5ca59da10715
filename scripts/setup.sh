#!/usr/bin/env bash
# Installs the Debian packages Lumora builds and runs with, when missing.
#   --virtual-camera   also the packages of the Linux virtual camera: pkexec
#                      (policykit-1 on releases without it), the v4l2loopback
#                      module and the headers its build needs
#   --package          also the tools that build and check the Debian package
set -euo pipefail

virtual_camera=0
package=0
for arg in "$@"; do
    case "$arg" in
    --virtual-camera) virtual_camera=1 ;;
    --package) package=1 ;;
    *)
        echo "usage: setup.sh [--virtual-camera] [--package]" >&2
        exit 2
        ;;
    esac
done

PACKAGES=(
    build-essential cmake pkg-config
    qtbase5-dev qtbase5-dev-tools qtmultimedia5-dev
    libopencv-core-dev libopencv-imgproc-dev libopencv-objdetect-dev
    opencv-data opencv-doc
    libavformat-dev libavcodec-dev libavdevice-dev libswscale-dev libswresample-dev libavutil-dev
    ffmpeg v4l-utils qt5-image-formats-plugins ccache
    libpulse-dev pulseaudio pulseaudio-utils
    xvfb xauth xdotool imagemagick fonts-dejavu-core fonts-liberation2
    libgtest-dev libbenchmark-dev
    dbus-daemon dbus-bin
    python3
    libcivetweb-dev
    # The HTTP API suite's WebSocket client, and promtool for its metrics page.
    libqt5websockets5-dev prometheus
    # The web remote's test: a headless browser driven through DevTools.
    chromium python3-websocket
    # Keys during calls: X11 key grabs through Qt's display connection; the
    # suite's other program with the focus is xmessage (x11-utils).
    libxcb1-dev libxcb-keysyms1-dev libqt5x11extras5-dev x11-utils
    # ... and on Wayland through the desktop portal, which the suite stands
    # in for with a Python service on a bus of its own.
    python3-dbus python3-gi
)

# A package the archive offers (apt-cache knows a candidate for it).
offered() {
    apt-cache policy "$1" 2>/dev/null | grep -q 'Candidate: [^(]'
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

# A list that does not update (a mirror mid-sync, often on another
# architecture's side) does not stop the setup: the install that follows
# tells whether what is needed can be had from the lists there are.
update_lists() {
    $SUDO apt-get update -qq || echo "setup: the package lists did not all update; going on with those there are"
}

if [ "$virtual_camera" = 1 ]; then
    # The choice below asks the archive, so its list must be current.
    update_lists
    if offered pkexec; then
        PACKAGES+=(pkexec)
    else
        PACKAGES+=(policykit-1)
    fi
    PACKAGES+=(kmod v4l2loopback-dkms)
    if offered "linux-headers-$(uname -r)"; then
        PACKAGES+=("linux-headers-$(uname -r)")
    fi
fi

if [ "$package" = 1 ]; then
    PACKAGES+=(dpkg-dev file lintian appstream desktop-file-utils man-db)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    update_lists
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
