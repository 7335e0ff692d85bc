#!/usr/bin/env bash
# Set up, build and run the tool against the built-in simulated controller.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec build/bin/kadex-cli --simulate identify
