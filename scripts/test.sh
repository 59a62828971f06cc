#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON >/dev/null
cmake --build "$build"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export QT_QPA_PLATFORM=offscreen
# The tests mostly wait on serial lines, so more of them run at once than there are cores.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(( $(nproc) * 2 ))" "$@"
