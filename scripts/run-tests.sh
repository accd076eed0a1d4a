#!/usr/bin/env bash
# Installs dependencies, builds and runs the whole test suite: a plain build, the same tests under
# AddressSanitizer + UBSan, and the threaded tests under ThreadSanitizer. Real VNC servers are started
# by the tests themselves on 127.0.0.1 and stopped when they end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLATIS_BUILD_BENCH=OFF "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
run_ctest() { # ctest arguments...; keeps the closing count of each run for the summary
    ctest --output-on-failure -j "$jobs" "$@" 2>&1 | tee -a "$summary"
}

build build/release
run_ctest --test-dir build/release --timeout 300

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build build/asan -DLATIS_SANITIZE=address
run_ctest --test-dir build/asan --timeout 600 -LE noasan

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
build build/tsan -DLATIS_SANITIZE=thread -DLATIS_BUILD_QT=OFF
run_ctest --test-dir build/tsan --timeout 600 -L threaded

# A minute of fuzzing the session's message reader (libFuzzer, clang, ASan + UBSan), from the seeds.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DLATIS_FUZZ=ON -DLATIS_BUILD_QT=OFF -DLATIS_BUILD_TESTS=OFF -DLATIS_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target session_fuzz
rm -rf build/fuzz/corpus && mkdir -p build/fuzz/corpus && cp tests/fuzz/seeds/* build/fuzz/corpus/
build/fuzz/tests/fuzz/session_fuzz build/fuzz/corpus -max_total_time=60 -rss_limit_mb=2048 -print_final_stats=1

# One closing line over all runs: N passed, N failed.
awk '/tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
     END { printf "%d passed, %d failed\n", total - failed, failed }' "$summary"
