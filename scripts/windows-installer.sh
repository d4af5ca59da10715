#!/usr/bin/env bash
# windows-installer.sh BUILD OUT.exe: installs the Windows build into a
# self-contained folder (cmake --install, BUILD/stage) and packs it into an
# NSIS installer with app/windows/lumora.nsi. The file lists the installer
# writes and the uninstaller removes are made from the folder, so the two
# always agree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "$1")
out=$(readlink -m "$2")
stage=$build/stage
lists=$build/installer
version=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

rm -rf "$stage" "$lists"
cmake --install "$build" --prefix "$stage" >"$build/install.log"
mkdir -p "$lists"
windows_path() { printf '%s' "${1//\//\\}"; }
{
    (cd "$stage" && find . -type d | LC_ALL=C sort) | while read -r dir; do
        rel=${dir#.}
        echo "SetOutPath \"\$INSTDIR$(windows_path "$rel")\""
        (cd "$stage/$dir" && find . -maxdepth 1 -type f | LC_ALL=C sort) | while read -r file; do
            echo "File \"$stage/${dir#./}/${file#./}\""
        done
    done
    echo 'SetOutPath "$INSTDIR"'
} >"$lists/install.nsh"
{
    (cd "$stage" && find . -type f | LC_ALL=C sort) | while read -r file; do
        echo "Delete \"\$INSTDIR$(windows_path "${file#.}")\""
    done
    # Deepest folders first; a folder still holding a user's files stays.
    (cd "$stage" && find . -mindepth 1 -type d | LC_ALL=C sort -r) | while read -r dir; do
        echo "RMDir \"\$INSTDIR$(windows_path "${dir#.}")\""
    done
} >"$lists/uninstall.nsh"

makensis -V2 -DSTAGE="$stage" -DLISTS="$lists" -DOUTFILE="$out" -DVERSION="$version" \
    -DICON="$root/app/windows/lumora.ico" "$root/app/windows/lumora.nsi"
echo "windows-installer: $(find "$stage" -type f | wc -l) files packed into $out"
