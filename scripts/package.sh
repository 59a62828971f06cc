#!/usr/bin/env bash
# Builds the Debian package of the four programs: a release build installed under /usr in
# build/package, packed by CPack (packaging/CMakeLists.txt), whose dependencies dpkg-shlibdeps
# finds. Prints the package's path; scripts/check_package.sh checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=build/package
# Debian's hardening flags, all of them (bindnow too); the optimisation and debug information
# stay the release build's own (-O3, stripped when packed).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | tr ' ' '\n' | grep -vE '^-(O[0-9s]?|g)$' | paste -sd' '; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" \
    >/dev/null
cmake --build "$build"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/*.deb
