#!/usr/bin/env bash
# Builds the Debian package, checks it (lintian, AppStream, desktop entry),
# installs it with apt, tries the installed program and command from their
# installed paths only, and purges it again, checking that none of its files
# is left behind. Needs root or sudo without a password; skips otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

say() { echo "package: $*"; }
fail() {
    echo "package: FAILED: $*" >&2
    exit 1
}

. scripts/root-access.sh
if ! root_access; then
    echo "== package: skipped, installing a package needs root or sudo without a password"
    exit 0
fi
if ! command -v apt-get >/dev/null || ! command -v dpkg >/dev/null; then
    echo "== package: skipped, this machine has no apt and dpkg"
    exit 0
fi
if dpkg-query -W -f='${Status}' lumora 2>/dev/null | grep -q "ok installed"; then
    echo "== package: skipped, lumora is installed already and would be replaced; remove it with: apt-get purge lumora"
    exit 0
fi

bash scripts/setup.sh --package

# The flags Debian builds its packages with (hardening included).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
build=build/package
echo "== package: build (Release, prefix /usr)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCH=OFF "${launcher[@]}" \
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
    "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/lumora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$ROOT/$build"/lumora_*_"$(dpkg --print-architecture)".deb)
say "built $(basename "$deb")"

started=$(date +%s)
echo "== package: checks of the package"
# lintian: neither errors nor warnings (the README says which it leaves).
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
dpkg-deb -f "$deb" Recommends | grep -qx "pkexec, v4l2loopback-dkms, v4l2loopback-utils, opencv-data, fonts-liberation2" ||
    fail "the package does not recommend pkexec, v4l2loopback, the face cascades and the fonts"

work=$(mktemp -d)
installed=0
cleanup() {
    if declare -F stop_headless >/dev/null; then
        stop_headless
    fi
    [ "$installed" = 0 ] || $SUDO apt-get -o DPkg::Lock::Timeout=900 purge -y -qq lumora >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "== package: apt-get install ./$(basename "$deb")"
# apt reads the file as its sandbox user; a copy in a folder it may read.
cp "$deb" "$work/" && chmod 755 "$work" && chmod 644 "$work/$(basename "$deb")"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends \
    "$work/$(basename "$deb")" >/dev/null
installed=1
dpkg -L lumora >"$work/files"

private=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/lumora
appstreamcli validate --no-net /usr/share/metainfo/org.lumora.Lumora.metainfo.xml ||
    fail "the AppStream metadata is not valid"
desktop-file-validate /usr/share/applications/org.lumora.Lumora.desktop ||
    fail "the desktop entry is not valid"
for icon in scalable/apps/org.lumora.Lumora.svg 48x48/apps/org.lumora.Lumora.png \
    256x256/apps/org.lumora.Lumora.png; do
    [ -f "/usr/share/icons/hicolor/$icon" ] || fail "icon $icon is not installed"
done
for page in lumora lumora-ctl; do
    man -w "$page" | grep -q "^/usr/share/man/man1/$page.1.gz$" || fail "no man page for $page"
done

unit=/usr/lib/systemd/user/lumora-agent.service
[ -f "$unit" ] || fail "the agent's user service is not installed"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" || fail "systemd-analyze finds faults in $unit"
else
    say "systemd-analyze is not installed: the agent's user service is not verified"
fi

# Every library comes from the system or the private folder, through RUNPATH.
for program in /usr/bin/lumora /usr/bin/lumora-ctl; do
    ! ldd "$program" | grep -q "not found" || fail "$program misses libraries: $(ldd "$program")"
    found=$(ldd "$program" | awk '$1 == "libvorn_ffmpeglib.so" {print $3}')
    [ "$(readlink -f "$found")" = "$private/libvorn_ffmpeglib.so" ] ||
        fail "$program does not find its libraries in $private"
done
# No development escape hatch in the Release build: the variable that would
# run a helper from the build folder is not even known to it.
! grep -aq LUMORA_DEV_VCAM_HELPER "$private/liblumora_platform.so" ||
    fail "the installed program honours LUMORA_DEV_VCAM_HELPER"

echo "== package: the helper, its feeder and the polkit action"
helper=/usr/libexec/lumora/lumora-vcam
for path in /usr/libexec /usr/libexec/lumora "$helper" /usr/libexec/lumora/lumora-vcam-feeder \
    /usr/libexec/lumora/lumora-vcam-ctl; do
    owner=$(stat -c '%U:%G %a' "$path")
    say "$owner $path"
    [ "$owner" = "root:root 755" ] || fail "$path is $owner, not root:root 755"
done
policy=/usr/share/polkit-1/actions/org.lumora.vcam.policy
[ "$(stat -c '%U:%G %a' "$policy")" = "root:root 644" ] || fail "$policy is not root:root 644"
grep -q "\"org.freedesktop.policykit.exec.path\">$helper</annotate>" "$policy" ||
    fail "$policy does not name $helper"

echo "== package: lumora-ctl list --json, two simulated cameras"
cd "$work"
LUMORA_SIMULATED_CAMERAS=2 /usr/bin/lumora-ctl list --json >"$work/list.json"
python3 - "$work/list.json" <<'EOF'
import json, sys
cameras = json.load(open(sys.argv[1]))["cameras"]
devices = [camera["device"] for camera in cameras]
assert devices == ["sim:video0", "sim:video1"], f"expected two cameras, got {cameras}"
assert all(camera["firmware"] for camera in cameras), f"a firmware version is missing: {cameras}"
print("package: lumora-ctl lists", ", ".join(devices))
EOF
# The upgrade library is loaded from the private folder.
head -c 65536 /dev/urandom >"$work/firmware.img"
LD_DEBUG=files LUMORA_SIMULATED_CAMERAS=1 LUMORA_UPGRADE_STEP_MS=0 \
    /usr/bin/lumora-ctl upgrade 0 "$work/firmware.img" >"$work/upgrade.out" 2>&1 || true
grep -q "calling init: $private/libuvc_upgrade.so" "$work/upgrade.out" ||
    fail "lumora-ctl upgrade did not load $private/libuvc_upgrade.so: $(grep -v '^ *[0-9]*:' "$work/upgrade.out")"

echo "== package: /usr/bin/lumora under Xvfb, preview on"
source "$ROOT/scripts/headless.sh"
start_xvfb
# The X server goes with the rest of the clean-up.
trap cleanup EXIT
for _ in $(seq 300); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"
LUMORA_SIMULATED_CAMERAS=1 /usr/bin/lumora >"$work/lumora.log" 2>&1 &
app_pid=$!
window=$(find_lumora_window 30) || fail "the window did not appear: $(cat "$work/lumora.log")"
# The preview's own picture, without the controls around it.
preview_region() { import -window "$window" -crop 800x530+359+0 +repage "$1"; }
spread() { convert "$1" -colorspace Gray -format '%[fx:standard_deviation]' info:; }
preview_region "$work/before.png"
[ "$(spread "$work/before.png" | awk '{print ($1 < 0.02)}')" = 1 ] ||
    fail "the preview shows a picture before it is switched on"
# Discovery opens the only camera by itself and says so; then the switch
# is clicked as a user does, and the picture is waited for.
for _ in $(seq 300); do
    grep -q "open camera name:" "$work/lumora.log" && break
    sleep 0.1
done
grep -q "open camera name:" "$work/lumora.log" || fail "the camera was not opened: $(cat "$work/lumora.log")"
xdotool mousemove --window "$window" 440 604 click 1
shown=0
for _ in $(seq 60); do
    preview_region "$work/preview.png"
    if [ "$(spread "$work/preview.png" | awk '{print ($1 > 0.05)}')" = 1 ]; then
        shown=1
        break
    fi
    sleep 0.5
done
# Live: the picture changes (the simulated camera stamps the time in it).
live=0
for _ in $(seq 60); do
    [ "$shown" = 1 ] || break
    preview_region "$work/later.png"
    differing=$(compare -metric AE "$work/preview.png" "$work/later.png" null: 2>&1 || true)
    if [ "${differing%% *}" != 0 ]; then
        live=1
        break
    fi
    sleep 0.5
done
screenshot="$ROOT/out/package-screenshot.png"
mkdir -p "$ROOT/out"
import -window "$window" "$screenshot"
[ "$shown" = 1 ] || fail "no picture in the preview (see $screenshot)"
[ "$live" = 1 ] || fail "the preview's picture does not change (see $screenshot)"
say "live picture shown, screenshot in out/package-screenshot.png"
kill "$app_pid" && wait "$app_pid" 2>/dev/null || true
app_pid=""

echo "== package: apt-get purge lumora"
cd "$ROOT"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 purge -y -qq lumora >/dev/null
installed=0
left=()
while read -r path; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    # A folder stays when another package owns it too.
    if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
        continue
    fi
    left+=("$path")
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
say "purged, none of its $(wc -l <"$work/files") paths is left"
say "checks took $(($(date +%s) - started)) s beside the build"
