#!/usr/bin/env bash
# Set up, build and run the tool against the built-in simulated controller.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/kadex-tool --simulate
fi
echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): the desktop program needs one."
echo "Start it in a desktop session with: build/bin/kadex-tool --simulate"
echo "Running the command-line front end against the simulated controller instead:"
echo
build/bin/kadex-cli --simulate identify
echo
exec build/bin/kadex-cli --simulate read
