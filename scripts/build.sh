#!/usr/bin/env bash
# Configures and builds the project into build/ (Release with debug info). With CI set (as CI
# services do), warnings in the project's own code fail the build.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
if [[ -n "${CI:-}" && "${CI}" != "false" && "${CI}" != "0" ]]; then
  werror=ON
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKADEX_WERROR="$werror"
cmake --build build -j"$(nproc)"
