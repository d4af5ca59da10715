#!/usr/bin/env bash
# Sets up, builds and runs every test suite, then builds them once more with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
set -euo pipefail
cd "$(dirname "$0")/.."

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

echo "== build (RelWithDebInfo)"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build/test -j"$jobs"
echo "== tests"
ctest --test-dir build/test --output-on-failure -j"$jobs" -LE hardware
skipped_hardware build/test
echo "== benchmark: auto framing's detection cost and reaction against its targets"
build/test/bin/bench_framing 3

echo "== VM tier: the real kernel drivers in QEMU (skipped where QEMU cannot run)"
bash scripts/vm-test.sh build/test

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build/asan -j"$jobs"
echo "== tests under the sanitizers"
ctest --test-dir build/asan --output-on-failure -j"$jobs" -LE hardware
skipped_hardware build/asan

echo "== Debian package: build, install, run from the installed paths, purge"
bash scripts/package-test.sh

echo "== Windows: cross-build, tests under wine (skipped without the Windows SDK)"
bash scripts/windows.sh
