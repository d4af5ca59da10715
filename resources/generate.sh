#!/bin/sh
# Regenerates every picture of the bundle from src/pictures.py.
# Needs python3, rsvg-convert (librsvg2-bin) and ImageMagick; the build itself
# needs none of them, because the generated pictures are committed.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/src/pictures.py" "$work/svg"

count=0
for source in $(cd "$work/svg" && find . \( -path ./frames -o -path ./desktop \) -prune -o -name '*.svg' -print | sort); do
    name=${source#./}
    target="$here/${name%.svg}.png"
    mkdir -p "$(dirname "$target")"
    # The pictures are drawn at their widget's pixel size; render them 1:1.
    rsvg-convert --format=png --output="$target" "$work/svg/$name"
    count=$((count + 1))
done

mkdir -p "$work/png"
for frame in "$work"/svg/frames/*.svg; do
    rsvg-convert --format=png --output="$work/png/$(basename "$frame" .svg).png" "$frame"
done
mkdir -p "$here/Icon"
# 8/100 s per frame: one turn of the spinner a second.
convert -delay 8 -loop 0 "$work"/png/load_*.png -layers Optimize "$here/Icon/load.gif"
count=$((count + 1))

# The installed program's icon in the hicolor theme: the drawing itself and
# the pixel sizes desktops look up first. Not part of the bundle.
icon=org.lumora.Lumora
mkdir -p "$here/hicolor/scalable/apps"
cp "$work/svg/desktop/$icon.svg" "$here/hicolor/scalable/apps/$icon.svg"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$here/hicolor/${size}x${size}/apps"
    rsvg-convert --format=png --width="$size" --height="$size" \
        --output="$here/hicolor/${size}x${size}/apps/$icon.png" "$work/svg/desktop/$icon.svg"
    count=$((count + 1))
done

# The bundle lists exactly what was generated, folder by folder.
{
    echo '<!DOCTYPE RCC>'
    echo '<RCC version="1.0">'
    echo '<qresource prefix="/UI">'
    for folder in Icon Word background Button Combox Slider CameraControl; do
        for file in $(cd "$here" && find "$folder" -type f | LC_ALL=C sort); do
            echo "    <file>$file</file>"
        done
    done
    echo '</qresource>'
    echo '</RCC>'
} >"$here/resources.qrc"

# Lumora.exe's icon (app/windows), from the title bar's picture.
convert "$here/Icon/icon_title.png" -define icon:auto-resize=64,48,32,16 \
    "$here/../app/windows/lumora.ico"

echo "generated $count pictures"
