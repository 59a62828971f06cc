#!/usr/bin/env bash
# Builds the Debian package of the four programs: the release build
# (scripts/configure_release.sh) installed under /usr, packed by CPack
# (packaging/CMakeLists.txt), whose dependencies dpkg-shlibdeps finds. Prints the package's
# path; scripts/check_package.sh checks it.
#
#   scripts/package.sh          configure and build build/package without the tests, pack it
#   scripts/package.sh BUILD    pack BUILD as it is (scripts/test.sh, once its tests passed)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ $# -gt 0 ]; then
  build=$1
  scripts/configure_release.sh --check "$build"
else
  build=build/package
  scripts/configure_release.sh "$build" -DVELTRIX_TESTS=OFF
  cmake --build "$build"
fi
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$PWD/$build"/*.deb
