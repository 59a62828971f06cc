#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON >/dev/null
cmake --build "$build"

# The tests mostly wait on serial lines, so more of them run at once than there are cores.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(( $(nproc) * 2 ))" "$@"
