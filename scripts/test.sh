#!/usr/bin/env bash
# Sets up, builds and runs every test suite, then builds them once more with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc)

echo "== build (RelWithDebInfo)"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs"
echo "== tests"
ctest --test-dir build/test --output-on-failure -j"$jobs"

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
echo "== tests under the sanitizers"
ctest --test-dir build/asan --output-on-failure -j"$jobs"
