#!/usr/bin/env bash
# Redraws the programs' icons, about bitmaps and toolbar buttons (resources/pictavo/*.png,
# resources/kolvane/*.png, resources/fenwald/*.png) from resources/*/draw_artwork.cpp. Run it
# after changing a drawing, and commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target pictavo_draw_artwork kolvane_draw_artwork fenwald_draw_artwork
"$build/picture/pictavo_draw_artwork" resources/pictavo
"$build/download/kolvane_draw_artwork" resources/kolvane
"$build/installer/fenwald_draw_artwork" resources/fenwald
ls -l resources/pictavo/*.png resources/kolvane/*.png resources/fenwald/*.png
