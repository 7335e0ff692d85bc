#!/usr/bin/env bash
# Builds the test program with ThreadSanitizer in a tree of its own and runs the tests that
# exercise the polling threads, the flow runner, the window model and the settings snapshots
# from several threads, and the serial link on a pseudo-terminal (its I/O thread, a lost and
# returning port).
# Usage: scripts/tsan.sh [GTEST_FILTER]   (build tree: $KADEX_TSAN_BUILD, default /tmp/kadex-tsan)
# Leave out the tests that start programs (Cli*, SimEndToEnd*): once a test has started one
# through QProcess, the sanitizer loses track of the locks in this process and every report
# after that is bogus.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KADEX_TSAN_BUILD:-/tmp/kadex-tsan}
filter=${1:-'MainCoreSim.*:PollThread*:FlowRunner*:WindowModel*:VAVBetriebSim*:SettingsSnapshot*:SimPty.*:SerialLink.*'}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKADEX_SANITIZE=thread -DKADEX_BUILD_BENCH=OFF >/dev/null
nice cmake --build "$build" --target kadex-tests -j"${JOBS:-$(nproc)}"
export QT_QPA_PLATFORM=offscreen
# Qt itself is not instrumented: tests/tsan.supp names the false reports that causes.
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
exec "$build/bin/kadex-tests" --gtest_filter="$filter"
