#!/usr/bin/env bash
# Takes a screenshot of each window of the picture tool, the download tool and the firmware
# installer under a virtual X server, with simulated devices, into build/screenshots/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=build/asan
out=${1:-build/screenshots}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON >/dev/null
cmake --build "$build" --target pictavo_screenshots kolvane_screenshots fenwald_screenshots
mkdir -p "$out"
# Fonts keep system caches for the life of the process; that is no leak of ours.
for program in picture/pictavo_screenshots download/kolvane_screenshots \
    installer/fenwald_screenshots; do
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1600x1200x24 -dpi 96" "$build/tests/$program" "$out"
done
