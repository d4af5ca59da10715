#!/usr/bin/env bash
# Builds and tests the committed state of this checkout on Debian 13 (trixie)
# in a root made with mmdebstrap from this machine's own Debian archive:
# scripts/setup.sh, a Release build that must not warn, the Linux suites
# (ctest -LE hardware), then the Debian package built, installed, run and
# purged by scripts/package-test.sh, all inside that root.
#
# The root is kept in LUMORA_DEBIAN13_CACHE (by default
# ${XDG_CACHE_HOME:-$HOME/.cache}/lumora-debian13; never under /tmp, which is
# wiped and often small) and only brought up to date on later runs; ccache's
# store inside it keeps rebuilds short. The output of every step goes to
# last-run.log there; on a failure its end is shown.
#
# Skips with one line where it cannot run: no root and no sudo without a
# password, no mmdebstrap to be had, or an archive without trixie.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$(pwd)
SUITE=trixie

skip() {
    echo "== Debian 13 step skipped: $*"
    exit 0
}
fail() {
    echo "debian13: FAILED: $*" >&2
    exit 1
}

. scripts/root-access.sh
root_access || skip "needs root or sudo without a password"

cache=$(realpath -m "${LUMORA_DEBIAN13_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumora-debian13}")
case "$cache/" in
/tmp/*) fail "the cache $cache is under /tmp; set LUMORA_DEBIAN13_CACHE to a lasting folder" ;;
esac

mirror=$(bash scripts/debian-mirror.sh 2>/dev/null) || skip "no Debian archive in this machine's apt sources"
# The archive is asked for the release file the bootstrap would fetch first.
has_suite() {
    local url="$mirror/dists/$SUITE/InRelease"
    if command -v curl >/dev/null; then
        curl -sfIL --max-time 60 "$url" >/dev/null
    elif command -v wget >/dev/null; then
        wget -q --spider --timeout=60 "$url"
    else
        python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=60)' "$url"
    fi
}
has_suite 2>/dev/null || skip "the archive $mirror has no $SUITE"
if ! command -v mmdebstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends mmdebstrap >/dev/null 2>&1 || true
    command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed and apt cannot install it"
fi

mkdir -p "$cache"
root=$cache/root
log=$cache/last-run.log
# One run at a time per cache: they would share the root.
exec 9>"$cache/lock"
flock 9
: >"$log"

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        $SUDO umount "${mounted[$i]}" 2>/dev/null || $SUDO umount -l "${mounted[$i]}" 2>/dev/null || true
    done
    mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM
mount_into_root() { # TARGET then mount's arguments
    local target=$root$1
    shift
    $SUDO mount "$@" "$target" && mounted+=("$target")
}
# Nothing of the host may be mounted in a root that is about to be deleted.
mounts_in_root() {
    awk -v r="$root/" 'index($2 "/", r) == 1 || index($2 "/", r ".new/") == 1' /proc/mounts | grep -q .
}
in_root() {
    $SUDO chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# step NAME COMMAND...: one line with the time the step took; its output goes
# to the log, whose end is shown when it fails. The commands run as an if's
# condition, where errexit is off: the step functions chain with &&.
# check NAME COMMAND...: the same for a step the next ones do not need; its
# failure is told at the end, after them.
failed=()
run_step() {
    local name=$1 started
    shift
    started=$(date +%s)
    printf '== Debian 13: %s ... ' "$name"
    echo "== $name" >>"$log"
    if "$@" >>"$log" 2>&1; then
        echo "$(($(date +%s) - started)) s"
        return 0
    fi
    echo "FAILED after $(($(date +%s) - started)) s; the end of $log:"
    tail -n 60 "$log"
    return 1
}
step() { run_step "$@" || exit 1; }
check() { run_step "$@" || failed+=("$1"); }

bootstrap() {
    if mounts_in_root; then
        echo "something is still mounted in $root; unmount it first"
        return 1
    fi
    # The rest comes from scripts/setup.sh, as on any machine.
    $SUDO rm -rf --one-file-system "$root" "$root.new" &&
        $SUDO mmdebstrap --variant=apt --include=ca-certificates \
            "$SUITE" "$root.new" "deb $mirror $SUITE main" "deb $mirror $SUITE-updates main" &&
        $SUDO touch "$root.new/.lumora-root" && $SUDO mv "$root.new" "$root"
}

refresh() {
    $SUDO cp -L /etc/resolv.conf "$root/etc/resolv.conf" &&
        # Services the packages bring are not started in the root.
        printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$root/usr/sbin/policy-rc.d" >/dev/null &&
        $SUDO chmod 755 "$root/usr/sbin/policy-rc.d" &&
        in_root apt-get -o DPkg::Lock::Timeout=900 update -qq &&
        in_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 upgrade -y -qq
}

mount_all() {
    mount_into_root /proc -t proc proc &&
        mount_into_root /sys --bind /sys &&
        mount_into_root /dev --bind /dev &&
        mount_into_root /dev/pts --bind /dev/pts &&
        mount_into_root /dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs &&
        mount_into_root /tmp -t tmpfs -o mode=1777,nosuid,nodev tmpfs
}

# What is committed, not what the checkout holds beside it.
clone() {
    local commit
    commit=$(git -C "$SRC" rev-parse HEAD) &&
        $SUDO rm -rf --one-file-system "$root/src/lumora" && $SUDO mkdir -p "$root/src" &&
        $SUDO git -c safe.directory='*' clone -q --no-checkout "$SRC" "$root/src/lumora" &&
        $SUDO git -C "$root/src/lumora" -c advice.detachedHead=false checkout -q "$commit" &&
        echo "commit $commit"
}

# The build may not warn: Debian 13's compiler and libraries are the point.
build() {
    in_root cmake -S /src/lumora -B /src/lumora/build/release -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache 2>&1 |
        tee "$cache/build.log" &&
        in_root cmake --build /src/lumora/build/release -j"$(nproc)" 2>&1 | tee -a "$cache/build.log" &&
        if grep -E 'warning:|^CMake Warning' "$cache/build.log"; then
            echo "the build warns (above)"
            return 1
        fi
}

# package-test.sh skips where it cannot install; here that is a failure.
package() {
    in_root bash /src/lumora/scripts/package-test.sh 2>&1 | tee "$cache/package.log" &&
        ! grep '^== package: skipped' "$cache/package.log"
}

started_all=$(date +%s)
if [ ! -e "$root/.lumora-root" ]; then
    step "bootstrap $SUITE from $mirror (mmdebstrap)" bootstrap
fi
step "mount /proc, /sys, /dev, /dev/pts, /dev/shm and /tmp" mount_all
step "apt-get update && upgrade" refresh
step "clone $(git rev-parse --short HEAD)" clone
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "== Debian 13: note: the checkout has uncommitted changes, which are not tested"
step "scripts/setup.sh --package" in_root bash /src/lumora/scripts/setup.sh --package
step "build (Release, no warnings)" build
check "ctest -LE hardware" in_root ctest --test-dir /src/lumora/build/release --output-on-failure \
    --no-tests=error -j"$(nproc)" -LE hardware
check "scripts/package-test.sh: build, install, run and purge the package" package
if [ ${#failed[@]} -gt 0 ]; then
    echo "== Debian 13: FAILED after $(($(date +%s) - started_all)) s: $(printf '%s; ' "${failed[@]}")"
    exit 1
fi
echo "== Debian 13: passed in $(($(date +%s) - started_all)) s"
