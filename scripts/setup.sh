#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with, when they are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  qt6-base-dev libudev-dev libx11-dev libxtst-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  lrzsz xvfb xauth
  fonts-vlgothic   # the download tool's one Japanese message needs a font with its characters
  clang libclang-rt-14-dev   # the fuzz build (-DVELTRIX_FUZZ=ON): clang and libFuzzer
  dpkg-dev file   # the Debian package (scripts/package.sh): dpkg-shlibdeps finds its dependencies
  desktop-file-utils appstream lintian man-db groff-base   # checking it (scripts/check_package.sh)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
