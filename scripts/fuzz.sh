#!/usr/bin/env bash
# Fuzzes every parser of outside data with libFuzzer, under AddressSanitizer
# and UndefinedBehaviorSanitizer: the targets of tests/fuzz, built with clang
# in build/fuzz, each from a copy of its seeds in tests/fuzz/corpus/<target>
# (the repository is never written).
#
#   scripts/fuzz.sh [--long] [--runs N] [TARGET...]
#
# The default pass is short, for the test run; --long runs each target
# 1,000,000 times. One line a target: runs, coverage (libFuzzer's cov and ft)
# and crashes; a crash, leak or time-out fails the run and leaves the input in
# build/fuzz/findings/<target>/. Where clang's fuzzer runtime cannot be had,
# the pass is skipped with one line.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=50000
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
    --long) runs=1000000 ;;
    --runs)
        runs=${2:?--runs needs a number}
        shift
        ;;
    -*)
        echo "usage: fuzz.sh [--long] [--runs N] [TARGET...]" >&2
        exit 2
        ;;
    *) targets+=("$1") ;;
    esac
    shift
done
if [ ${#targets[@]} -eq 0 ]; then
    for file in tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$file" .cpp)")
    done
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# clang and its runtimes (libFuzzer among them), and what the targets link.
missing=()
for p in clang libclang-rt-dev cmake qtbase5-dev ccache; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "fuzz: installing ${missing[*]}"
    apt-get -o DPkg::Lock::Timeout=900 update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}" || true
fi

build=build/fuzz
mkdir -p "$build"
probe=$build/probe
if ! command -v clang++ >/dev/null ||
    ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
    clang++ -x c++ - -fsanitize=fuzzer,address,undefined -o "$probe" 2>/dev/null; then
    echo "== fuzz: skipped: clang's libFuzzer runtime is not available (packages clang, libclang-rt-dev)"
    exit 0
fi
rm -f "$probe"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DLUMORA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$build/build.log" 2>&1 || {
    cat "$build/build.log"
    echo "fuzz: the targets did not build" >&2
    exit 1
}

# A leak, an unexpected exit or a sanitizer report ends the target's run as
# a crash does; tests/fuzz/lsan.supp names the leaks of Qt itself.
asan=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp:print_suppressions=0

# The config.ini target writes a file for every input: in memory, not on disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

passed=0
failed=0
for target in "${targets[@]}"; do
    seeds=tests/fuzz/corpus/$target
    work=$build/work/$target
    findings=$build/findings/$target
    rm -rf "$work" "$findings"
    mkdir -p "$work" "$findings"
    if [ -d "$seeds" ]; then
        cp -r "$seeds/." "$work/"
    fi
    log=$build/$target.log
    # The suppression of Qt's JSON leak matches only on whole stacks, which
    # cost time: only for the targets that call the reader.
    options=$asan
    if nm -C "$build/bin/$target" 2>/dev/null | grep 'QJsonDocument::fromJson' >/dev/null; then
        options+=:fast_unwind_on_malloc=0
    fi
    status=0
    ASAN_OPTIONS=$options "$build/bin/$target" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" >"$log" 2>&1 || status=$?
    # A run stopped in its seeds prints no coverage.
    cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
    ft=$(grep -Eo 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2 || true)
    done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    crashes=$(find "$findings" -type f | wc -l)
    if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then
        crashes=1
    fi
    echo "fuzz: $target: ${done_runs:-0} runs, cov ${cov:-0}, ft ${ft:-0}, crashes $crashes${seconds:+, ${seconds} s}"
    if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
        failed=$((failed + 1))
        grep -E 'ERROR:|runtime error:|broken:|SUMMARY:' "$log" | head -5 | sed 's/^/    /' || true
        echo "    full output: $log; inputs: $findings/"
    else
        passed=$((passed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
