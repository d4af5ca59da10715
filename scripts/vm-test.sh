#!/usr/bin/env bash
# The VM tier: Lumora's hardware-facing paths against the real Linux drivers
# (uvcvideo over a USB gadget on the dummy host controller, v4l2loopback),
# in QEMU with Debian's 6.12 kernel. Prints one line per check.
#
#   vm-test.sh [BUILD_DIR]   prepare (cached), boot, run the checks
#   vm-test.sh --guest ...   inside the VM (run by the VM's init)
#
# LUMORA_VM_CACHE: the cache folder (default ~/.cache/lumora-vm).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

if [ "${1:-}" = "--guest" ]; then
    shift
    exec bash "$ROOT/tests/vm/guest.sh" "$@"
fi

BUILD=$(realpath "${1:-build/test}")
CACHE=${LUMORA_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-vm}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

skip() {
    echo "== VM tier skipped: $*"
    exit 0
}

packages() {
    local missing=() p
    for p in qemu-system-x86 busybox-static pahole cpio kmod xz-utils; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "vm-test: installing ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

# The newest 6.12 kernel of the archive: bookworm's own 6.1 cannot give the
# gadget extension units or pan/tilt/zoom controls.
kernel_version() {
    apt-cache search --names-only '^linux-image-6\.12\.[0-9]+\+deb12-amd64-unsigned$' |
        sed -n 's/^linux-image-\(6\.12\.[0-9]*+deb12\)-amd64-unsigned .*/\1/p' | sort -V | tail -1
}

# Image, headers and kbuild unpacked under $CACHE/$KV (never installed), the
# patched dummy_hcd and v4l2loopback built against them into its extra/.
prepare_kernel() {
    local tree=$CACHE/$KV k=$KV-amd64 debs=$CACHE/debs
    # Made again when the patch changes: the cache must never run an older
    # controller than the checkout describes.
    local stamp
    stamp=$(sha256sum "$ROOT/tests/vm/dummy_hcd.patch" | cut -d' ' -f1)
    [ "$(cat "$tree/ready" 2>/dev/null)" = "$stamp" ] && return
    echo "vm-test: preparing kernel $k in $tree"
    rm -rf "$tree" && mkdir -p "$debs" "$tree/root" "$tree/build"
    (cd "$debs" && apt-get download -q "linux-image-$k-unsigned" "linux-headers-$k" \
        "linux-headers-$KV-common" "linux-kbuild-$KV" linux-source-6.12 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
    local d
    for d in image headers kbuild; do
        for f in "$debs"/linux-"$d"-*"$KV"*.deb; do dpkg-deb -x "$f" "$tree/root"; done
    done
    local headers=$tree/root/usr/src/linux-headers-$k
    echo "include $tree/root/usr/src/linux-headers-$KV-common/Makefile" >"$headers/Makefile"

    # dummy_hcd with isochronous endpoints; only the patch lives in the repository.
    mkdir -p "$tree/build/dummy_hcd"
    dpkg-deb --fsys-tarfile "$(ls "$debs"/linux-source-6.12_*.deb | sort -V | tail -1)" |
        tar -xO ./usr/src/linux-source-6.12.tar.xz |
        tar -xJO linux-source-6.12/drivers/usb/gadget/udc/dummy_hcd.c >"$tree/build/dummy_hcd/dummy_hcd.c"
    (cd "$tree/build/dummy_hcd" && patch -s -p5 <"$ROOT/tests/vm/dummy_hcd.patch")
    echo 'obj-m := dummy_hcd.o' >"$tree/build/dummy_hcd/Kbuild"
    make -s -C "$headers" M="$tree/build/dummy_hcd" modules >/dev/null

    # bookworm's v4l2loopback does not build against 6.12; trixie's does.
    if v4l2loopback_source "$tree/build"; then
        make -s -C "$headers" M="$tree/build/v4l2loopback" modules >/dev/null
    fi
    local extra=$tree/root/lib/modules/$k/extra
    mkdir -p "$extra"
    rm -f "$tree/root/lib/modules/$k/kernel/drivers/usb/gadget/udc/dummy_hcd.ko"*
    cp "$tree"/build/*/*.ko "$extra/"
    depmod -b "$tree/root" "$k"
    echo "$stamp" >"$tree/ready"
}

# trixie's v4l2loopback-dkms through apt, with a private source list and
# state, leaving the machine's apt configuration alone.
v4l2loopback_source() {
    local apt=$CACHE/apt
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
    local mirror
    mirror=$(bash "$ROOT/scripts/debian-mirror.sh") || return 1
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror trixie main" >"$apt/trixie.list"
    local o=(-o "Dir::Etc::SourceList=$apt/trixie.list" -o Dir::Etc::SourceParts=/nonexistent
        -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Dir::State::status=/dev/null
        -o Acquire::Languages=none -o APT::Architectures=amd64)
    if ! apt-get "${o[@]}" -qq update >/dev/null 2>&1 ||
        ! (cd "$CACHE/debs" && apt-get "${o[@]}" -q download v4l2loopback-dkms >/dev/null 2>&1); then
        echo "vm-test: trixie's v4l2loopback-dkms is not obtainable through apt; its checks will fail"
        return 1
    fi
    local unpacked=$1/v4l2loopback-deb
    dpkg-deb -x "$(ls "$CACHE"/debs/v4l2loopback-dkms_*.deb | sort -V | tail -1)" "$unpacked"
    cp -r "$unpacked"/usr/src/v4l2loopback-* "$1/v4l2loopback"
}

# A busybox initramfs with the 9p modules; everything else comes from the
# host's root, shared read-only.
prepare_initramfs() {
    local out=$CACHE/$KV/initrd.gz
    [ -e "$out" ] && [ "$out" -nt "$ROOT/tests/vm/init" ] && return
    local dir m
    dir=$(mktemp -d)
    mkdir -p "$dir"/{bin,lib,proc,sys,dev,host}
    cp /bin/busybox "$dir/bin/busybox"
    cp "$ROOT/tests/vm/init" "$dir/init"
    chmod +x "$dir/init"
    for m in fs/netfs/netfs net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p; do
        xz -dc "$CACHE/$KV/root/lib/modules/$KV-amd64/kernel/$m.ko.xz" >"$dir/lib/$(basename $m).ko"
    done
    (cd "$dir" && find . | cpio -o -H newc --quiet | gzip -1) >"$out"
    rm -rf "$dir"
}

[ "$(uname -m)" = x86_64 ] || skip "QEMU's x86-64 guest needs an x86-64 host"
packages
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not available"
[ -x "$BUILD/bin/lumora-ctl" ] || skip "no build in $BUILD (run scripts/test.sh first)"
case "$(realpath -m "$CACHE")/" in
/tmp/*) echo "vm-test: the cache $CACHE must not be under /tmp, which the VM has for itself" >&2 && exit 2 ;;
esac
mkdir -p "$CACHE"
# One run at a time per cache: a second run (another checkout's tests) would
# rebuild the kernel tree and clear the results under the first VM.
exec 9>"$CACHE/.lock"
flock 9
KV=$(kernel_version)
[ -n "$KV" ] || skip "the archive offers no 6.12 kernel (bookworm-security)"
prepare_kernel
prepare_initramfs

# Kept until the next run: the console, the guest's log and the gadget's requests.
results=$CACHE/results
rm -rf "$results" && mkdir -p "$results"
printf '%q ' "$ROOT/scripts/vm-test.sh" --guest "$BUILD" "$CACHE/$KV/root" >"$results/command"
# The checkout and the build are shared into the guest by name, wherever
# they are: the host's root it sees is read-only and has its /tmp and /run
# covered by the guest's own. The init mounts each at its host path.
virtfs() { printf 'local,path=%s,mount_tag=%s,security_model=none,multidevs=remap%s' "${1//,/,,}" "$2" "${3:-}"; }
shares=(-virtfs "$(virtfs "$ROOT" checkout ,readonly=on)")
printf 'checkout %s\n' "$ROOT" >"$results/shares"
case "$BUILD/" in
"$ROOT"/*) ;;
*) shares+=(-virtfs "$(virtfs "$BUILD" build ,readonly=on)") && printf 'build %s\n' "$BUILD" >>"$results/shares" ;;
esac
echo "== VM tier: kernel $KV-amd64 under QEMU (TCG)"
start=$(date +%s)
timeout 1800 qemu-system-x86_64 -accel tcg -cpu max -m 1536 -smp 1 -nographic -no-reboot \
    -kernel "$CACHE/$KV/root/boot/vmlinuz-$KV-amd64" -initrd "$CACHE/$KV/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init" \
    -virtfs "$(virtfs / hostroot ,readonly=on)" -virtfs "$(virtfs "$results" results)" "${shares[@]}" \
    >"$results/console.log" 2>&1 || true
cat "$results/checks" 2>/dev/null || true
echo "== VM tier: $(($(date +%s) - start)) s in the VM"
if ! grep -q '^done$' "$results/checks" 2>/dev/null; then
    echo "FAIL the VM did not finish the tier; its console:"
    tail -40 "$results/console.log"
    exit 1
fi
! grep -q '^FAIL' "$results/checks"
