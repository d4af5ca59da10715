#!/usr/bin/env bash
# Builds CivetWeb, the agent's HTTP server, for mingw-w64 into a Windows SDK
# prefix, from Debian's civetweb source package: static (lumora-ctl then
# links ws2_32 itself), WebSockets on, no TLS, no server program, no C++
# wrapper, no tests (they fetch their own check library).
#
#   scripts/windows-civetweb.sh SDK_PREFIX WORK_FOLDER
#
# The source package is fetched once into WORK_FOLDER/source and kept: a
# later build (an SDK unpacked afresh) needs no network. The package
# archive is the machine's own: its apt sources, turned into deb-src
# entries in a private apt configuration under WORK_FOLDER, so nothing of
# the system's apt is changed and no root is needed.
set -euo pipefail
sdk=$(cd "${1:?usage: windows-civetweb.sh SDK_PREFIX WORK_FOLDER}" && pwd)
mkdir -p "${2:?usage: windows-civetweb.sh SDK_PREFIX WORK_FOLDER}"
work=$(cd "$2" && pwd)
source_dir=$work/source

# The deb-src twin of every entry the machine's apt reads, one-line lists
# and deb822 files alike.
source_entries() {
    local etc list parts f
    eval "$(apt-config shell etc Dir::Etc/d list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
    apt_dir=$work/apt
    rm -rf "$apt_dir"
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    for f in "$list" "$parts"/*.list; do
        [ -f "$f" ] || continue
        sed -nE 's/^[[:space:]]*deb(-src)?[[:space:]]/deb-src /p' "$f"
    done > "$apt_dir/parts/source.list"
    for f in "$parts"/*.sources; do
        [ -f "$f" ] || continue
        sed -E 's/^Types:.*/Types: deb-src/' "$f" > "$apt_dir/parts/$(basename "$f")"
    done
    : "${etc:?}"
}

fetch() {
    local apt_dir
    source_entries
    local options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/parts"
                   -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
                   -o APT::Sandbox::User="$(id -un)")
    # An entry without sources (a third-party archive) or one mid-sync must
    # not stop the others; a package none of them has fails below.
    apt-get "${options[@]}" -qq update || echo "windows: some package lists were not fetched; going on"
    rm -rf "$source_dir.partial"
    mkdir -p "$source_dir.partial"
    (cd "$source_dir.partial" && apt-get "${options[@]}" -qq source --download-only civetweb)
    rm -rf "$apt_dir" "$source_dir"
    mv "$source_dir.partial" "$source_dir"
}

if ! ls "$source_dir"/civetweb_*.dsc >/dev/null 2>&1; then
    echo "windows: fetching Debian's civetweb source package"
    fetch
fi
dsc=$(ls "$source_dir"/civetweb_*.dsc | head -1)
echo "windows: building CivetWeb $(basename "$dsc" .dsc | cut -d_ -f2) for mingw-w64 into the SDK"
rm -rf "$work/civetweb" "$work/build"
dpkg-source --no-check -x "$dsc" "$work/civetweb" >/dev/null
cmake -G Ninja -S "$work/civetweb" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdk" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DCIVETWEB_BUILD_TESTING=OFF \
    -DCIVETWEB_ENABLE_WEBSOCKETS=ON -DCIVETWEB_ENABLE_SSL=OFF -DCIVETWEB_ENABLE_CXX=OFF \
    -DCIVETWEB_ENABLE_SERVER_EXECUTABLE=OFF -DCIVETWEB_ENABLE_LUA=OFF \
    -DCIVETWEB_ENABLE_DUKTAPE=OFF >/dev/null
# Its own code's warnings are Debian's to judge: kept in a log, shown on failure.
cmake --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
cmake --install "$work/build" >/dev/null
rm -rf "$work/civetweb" "$work/build" "$work"/civetweb_*.orig.tar.*
ls -l "$sdk/include/civetweb.h" "$sdk/lib/libcivetweb.a"
