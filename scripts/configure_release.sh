#!/usr/bin/env bash
# Configures the release build the Debian package is made from: -O3, installed under /usr, with
# Debian's hardening flags. scripts/test.sh configures it with the tests, runs them on it and
# packs that same build; scripts/package.sh alone configures it without them. This is the one
# place its flags are set, so the tested build and the packed one cannot differ.
#
#   scripts/configure_release.sh BUILD [CMAKE-ARGS...]   configure BUILD
#   scripts/configure_release.sh --check BUILD           fail unless BUILD was configured so
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian's hardening flags, all of them (bindnow too); the optimisation and debug information
# stay the release build's own (-O3, stripped when packed).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | tr ' ' '\n' | grep -vE '^-(O[0-9s]?|g)$' | paste -sd' '; }
settings=(
  CMAKE_BUILD_TYPE=Release
  CMAKE_INSTALL_PREFIX=/usr
  "CMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)"
  "CMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
  "CMAKE_MODULE_LINKER_FLAGS=$(flags LDFLAGS)"
  VELTRIX_SANITIZE=OFF
  VELTRIX_TSAN=OFF
  VELTRIX_FUZZ=OFF
  VELTRIX_GUI=ON
)

if [ "${1:-}" = --check ]; then
  cache=${2:?"usage: $0 --check BUILD"}/CMakeCache.txt
  [ -f "$cache" ] || { echo "configure_release: no build in $2" >&2; exit 1; }
  for setting in "${settings[@]}"; do
    name=${setting%%=*}
    have=$(sed -n "s/^$name:[A-Z]*=//p" "$cache")
    [ "$have" = "${setting#*=}" ] ||
      { echo "configure_release: $2 has $name=\"$have\", not \"${setting#*=}\"" >&2; exit 1; }
  done
  exit 0
fi

build=${1:?"usage: $0 BUILD [CMAKE-ARGS...]"}
shift
cmake -S . -B "$build" -G Ninja "${settings[@]/#/-D}" -DVELTRIX_BENCH=OFF "$@" >/dev/null
