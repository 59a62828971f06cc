#!/usr/bin/env bash
# Redraws the picture tool's icon and about bitmap (resources/pictavo/*.png) from
# resources/pictavo/draw_artwork.cpp. Run it after changing the drawing, and commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target pictavo_draw_artwork
"$build/picture/pictavo_draw_artwork" resources/pictavo
ls -l resources/pictavo/*.png
