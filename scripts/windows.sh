#!/usr/bin/env bash
# Cross-builds Lumora for 64-bit Windows (mingw-w64) against the Windows SDK
# and runs the Windows test programs under wine in Xvfb.
#
# The SDK (Qt 5, FFmpeg, OpenCV built for mingw-w64, with a CMake toolchain
# file) is taken from LUMORA_WINDOWS_SDK (an unpacked SDK folder) when set,
# else unpacked from ../shared/windows-sdk/windows-sdk-x86_64.tar.zst (or
# LUMORA_WINDOWS_SDK_ARCHIVE) into build/windows-sdk. Without either, this
# says how to build the SDK with scripts/windows-sdk-recipe.sh and exits 0.
#
# Then Lumora.exe is started with the simulated camera, its preview is
# switched on and a screenshot is saved to LUMORA_WINDOWS_SCREENSHOT
# (build/windows/screenshot-windows.png unless set; docs/ holds the one in
# the README). Last, the NSIS installer (a 64-bit program, like Lumora.exe)
# is made and proved: installed into a fresh prefix, run from there
# (screenshot LUMORA_WINDOWS_INSTALLED_SCREENSHOT), uninstalled without a
# trace.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)

archive=${LUMORA_WINDOWS_SDK_ARCHIVE:-$root/../shared/windows-sdk/windows-sdk-x86_64.tar.zst}
if [ -z "${LUMORA_WINDOWS_SDK:-}" ] && [ ! -f "$archive" ]; then
    cat <<EOF
== windows: no Windows SDK, so the Windows build is skipped.
   Looked for $archive (or an unpacked SDK in LUMORA_WINDOWS_SDK).
   Build one (about an hour on 2 cores) with:
       sudo WINSDK_WORK=\$HOME/winsdk bash scripts/windows-sdk-recipe.sh deps sources \\
           qt_base qt_multimedia qt_plugins qt_extras x264 ffmpeg toolchain opencv \\
           qt_copy qt_imageformats pkgconfig pack
   then either put \$HOME/winsdk/windows-sdk.tar.zst at that place, set
   LUMORA_WINDOWS_SDK_ARCHIVE to it, or set LUMORA_WINDOWS_SDK=\$HOME/winsdk/prefix.
EOF
    exit 0
fi

# ---------------------------------------------------------------- packages
# wine32 runs the 32-bit programs (the 32-bit virtual camera filter and what
# loads it) beside wine64 in the same prefix; it is an i386 package.
packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev g++-mingw-w64-i686-posix
          mingw-w64-i686-dev wine64 wine32:i386 cmake ninja-build
          pkg-config xvfb xauth xdotool zstd imagemagick ccache nsis dpkg-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    # An archive whose i386 side is out of step (a mirror mid-sync) must not
    # stop the build: wine32 alone may then be left out, and the 32-bit
    # checks are skipped below, as on a machine that runs no 32-bit programs.
    $sudo apt-get update -qq || echo "windows: the package lists did not all update"
    install() {
        DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
            --no-install-recommends "$@"
    }
    if ! install "${missing[@]}"; then
        required=()
        for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || required+=("$p"); done
        [ ${#required[@]} -eq 0 ] || install "${required[@]}"
        echo "windows: wine32 could not be installed; the 32-bit programs will not run here"
    fi
fi

# Where no 32-bit program starts, the 32-bit pieces are still built, and
# what has to run them (their suites, the 32-bit filter's registration from
# the installed program) is skipped.
source "$root/scripts/wine32.sh"
runs32=1
if ! wine_runs_32bit; then
    runs32=0
    echo "== windows: this machine runs no 32-bit x86 programs; their checks are skipped"
fi

# ---------------------------------------------------------------- SDK
if [ -n "${LUMORA_WINDOWS_SDK:-}" ]; then
    sdk=$(cd "$LUMORA_WINDOWS_SDK" && pwd)
else
    sdk=$root/build/windows-sdk/prefix
    stamp=$root/build/windows-sdk/archive.stamp
    signature="$(stat -c '%s %Y' "$archive") $archive"
    if [ ! -f "$sdk/mingw-toolchain.cmake" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$signature" ]; then
        echo "== windows: unpacking the SDK"
        rm -rf "$root/build/windows-sdk"
        mkdir -p "$root/build/windows-sdk"
        zstd -dc "$archive" | tar -C "$root/build/windows-sdk" -xf -
        echo "$signature" > "$stamp"
    fi
fi
[ -f "$sdk/mingw-toolchain.cmake" ] || { echo "windows: $sdk holds no mingw-toolchain.cmake" >&2; exit 1; }

# The agent's HTTP server: an SDK made before the recipe's civetweb step has
# no CivetWeb, so it is built into the SDK's prefix as that step builds it,
# once (its source package is kept in build/windows-civetweb).
if [ ! -f "$sdk/include/civetweb.h" ] || [ ! -f "$sdk/lib/libcivetweb.a" ]; then
    bash "$root/scripts/windows-civetweb.sh" "$sdk" "$root/build/windows-civetweb"
fi

# ---------------------------------------------------------------- build
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The 32-bit build first: the 64-bit suites find its programs through
# LUMORA_WINDOWS_I686_BIN.
build32=$root/build/windows-i686
echo "== windows: cross-build of the native pieces (mingw-w64, i686)"
cmake -G Ninja -S . -B "$build32" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DLUMORA_NATIVE_ONLY=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" "${launcher[@]}" >/dev/null
cmake --build "$build32" -j"$(nproc)"

build=$root/build/windows
echo "== windows: cross-build (mingw-w64, x86_64)"
cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-toolchain.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/scripts/wine-run.sh" \
    -DLUMORA_WINDOWS_I686_BIN="$build32/bin" \
    -DLUMORA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
built=$(date +%s)

# ---------------------------------------------------------------- wine
# A prefix of its own inside the build folder: its temporary folder (where
# the shared frame's keys live) is then this tree's alone.
export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installers
export WINEPATH="Z:${sdk//\//\\}\\bin"
export LUMORA_WINE=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ] ||
    { [ "$runs32" = 1 ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe" ]; }; then
    echo "== windows: creating the wine prefix"
    xvfb-run -a "$LUMORA_WINE" wineboot --init
    /usr/lib/wine/wineserver -w
fi
# The virtual camera's suite registers a camera: in a prefix of its own,
# made fresh for every run, so that no other suite sees the camera and no
# earlier run's registration counts.
vcamprefix=$build/vcamprefix
rm -rf "$vcamprefix"
echo "== windows: creating the virtual camera's wine prefix"
WINEPREFIX=$vcamprefix xvfb-run -a "$LUMORA_WINE" wineboot --init
WINEPREFIX=$vcamprefix /usr/lib/wine/wineserver -w

echo "== windows: tests under wine"
status=0
# Wine's own background processes (services, devices, explorer) start with
# the first program of a session and inherit its output; started here, they
# keep no test's output open, which ctest would wait for.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    for prefix in "$WINEPREFIX" "$4"; do
        WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 60
        WINEPREFIX=$prefix "$LUMORA_WINE" cmd /c exit </dev/null >/dev/null 2>&1
    done
    status=0
    ctest --test-dir "$1" --output-on-failure -j"$2" --timeout 600 || status=$?
    # The native build holds tests only when it builds programs to run.
    if [ "$5" = 1 ] && ctest --test-dir "$3" -N | grep -q "^Total Tests: [1-9]"; then
        ctest --test-dir "$3" --output-on-failure -j"$2" --timeout 600 || status=$?
    fi
    exit $status' _ "$build" "$(nproc)" "$build32" "$vcamprefix" "$runs32" || status=$?

echo "== windows: Lumora.exe under wine with the simulated camera"
bash "$root/scripts/windows-screenshot.sh" "$build/bin/Lumora.exe" \
    "${LUMORA_WINDOWS_SCREENSHOT:-$build/screenshot-windows.png}" || status=$?
/usr/lib/wine/wineserver -k 2>/dev/null || true
WINEPREFIX=$vcamprefix /usr/lib/wine/wineserver -k 2>/dev/null || true

# The installer, proved in a fresh prefix of its own with nothing on
# WINEPATH (scripts/windows-installer-check.sh says what it checks).
version=$(sed -n 's/^project(Lumora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup=$build/Lumora-$version-setup.exe
echo "== windows: the installer ($setup)"
if ! bash "$root/scripts/windows-installer.sh" "$build" "$setup"; then
    status=1
else
    bash "$root/scripts/windows-installer-check.sh" "$setup" \
        "${LUMORA_WINDOWS_INSTALLED_SCREENSHOT:-$build/screenshot-installed.png}" || status=$?
fi

finished=$(date +%s)
echo "== windows: build $((built - started)) s, tests $((finished - built)) s"
exit $status
