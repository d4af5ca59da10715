#!/usr/bin/env bash
# Sets up, builds and runs every test suite, then builds them once more with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
set -euo pipefail
cd "$(dirname "$0")/.."

# One line per step, and what each step took when the next begins.
step_name="" step_start=$SECONDS
step() {
    [ -z "$step_name" ] || echo "== $step_name: $((SECONDS - step_start)) s"
    step_name=$1 step_start=$SECONDS
    [ -z "$1" ] || echo "== $1"
}
trap 'step ""' EXIT

step "setup: the Debian packages Lumora builds, runs and is tested with"
bash scripts/setup.sh

# ccache keeps rebuilds after small changes short; a clean machine gains nothing
# and loses nothing.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
jobs=$(nproc)

# Suites labelled "hardware" need a real USB camera; the default run leaves
# them out and says so.
skipped_hardware() {
    local count
    count=$(ctest --test-dir "$1" -N -L hardware | sed -n 's/^Total Tests: //p')
    echo "== skipped ${count:-0} hardware test(s) needing a real camera; run them with: ctest --test-dir $1 -L hardware"
}

step "build (RelWithDebInfo)"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build/test -j"$jobs"
step "tests"
ctest --test-dir build/test --output-on-failure -j"$jobs" -LE hardware
skipped_hardware build/test
step "benchmark: auto framing's detection cost and reaction against its targets"
build/test/bin/bench_framing 3

step "VM tier: the real kernel drivers in QEMU (skipped where QEMU cannot run)"
bash scripts/vm-test.sh build/test

step "build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build/asan -j"$jobs"
step "tests under the sanitizers"
ctest --test-dir build/asan --output-on-failure -j"$jobs" -LE hardware
skipped_hardware build/asan

step "fuzzing: every parser of outside data, a short pass"
bash scripts/fuzz.sh

step "Debian package: build, install, run from the installed paths, purge"
bash scripts/package-test.sh

step "Debian 13: the suites of a Release build and the package in a Debian 13 root"
bash scripts/debian13-test.sh

step "Windows: cross-build, tests under wine (skipped without the Windows SDK)"
bash scripts/windows.sh
