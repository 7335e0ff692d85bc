#!/usr/bin/env bash
# Builds the Debian package kadex-tool_VERSION_amd64.deb into the project folder: a Release
# build of the three programs in build-package/ (or $KADEX_PACKAGE_BUILD), man pages and bash
# completions made from the option tables, stripped programs, dependencies by dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KADEX_PACKAGE_BUILD:-build-package}
bash scripts/setup.sh
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKADEX_BUILD_TESTS=OFF -DKADEX_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/package"
(cd "$build" && cpack -B "$PWD/package")
for deb in "$build"/package/kadex-tool_*_amd64.deb; do
  cp "$deb" "$root/"
  echo "Package: $root/$(basename "$deb")"
  dpkg-deb --info "$deb" | grep -E '^ (Version|Installed-Size|Depends):'
done
