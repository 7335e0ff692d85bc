#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (the package test: dpkg-dev for
# dpkg-shlibdeps, file, man-db; the user guide: pandoc), only those that are missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libgl-dev
  libgtest-dev libgmock-dev
  dpkg-dev file man-db poppler-utils pandoc
  libqt6sql6-sqlite libqt6sql6-psql postgresql
)
# Screenshots need a virtual X server and ImageMagick as well.
if [ "${KADEX_WITH_XVFB:-0}" = 1 ]; then packages+=(xvfb xauth imagemagick); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
