#!/usr/bin/env bash
# Builds the programs (optimised) into build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
cmake --build build/release
