#!/usr/bin/env bash
# Installs the Debian packages Lumora builds and runs with, when missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake pkg-config
    qtbase5-dev qtbase5-dev-tools qtmultimedia5-dev
    libopencv-core-dev libopencv-imgproc-dev
    libavformat-dev libavcodec-dev libavdevice-dev libswscale-dev libswresample-dev libavutil-dev
    ffmpeg qt5-image-formats-plugins ccache
    libpulse-dev pulseaudio pulseaudio-utils
    xvfb xauth xdotool imagemagick fonts-dejavu-core fonts-liberation2
    libgtest-dev libbenchmark-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then
        SUDO="sudo"
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
