#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in a tree of its own
# and runs the whole suite there. Any report fails the test that caused it.
# Usage: scripts/asan.sh [CTEST_ARGS...]   (build tree: $KADEX_ASAN_BUILD, default build-asan)
# With only the build wanted: KADEX_ASAN_BUILD_ONLY=1 scripts/asan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KADEX_ASAN_BUILD:-build-asan}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# -O1 with line tables only: the build is much lighter than with full debug information, and
# the reports still name file and line. NDEBUG as in the normal build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DKADEX_SANITIZE=address,undefined -DKADEX_WERROR=ON -DKADEX_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-O1 -g1 -DNDEBUG -fno-sanitize-recover=undefined" "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"
[[ -n "${KADEX_ASAN_BUILD_ONLY:-}" ]] && exit 0
export QT_QPA_PLATFORM=offscreen
# Qt, fontconfig and the other system libraries are not instrumented: tests/lsan.supp names
# the allocations they keep for the life of the process.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
exec ctest --test-dir "$build" --output-on-failure -j"${JOBS:-$(nproc)}" --timeout 900 "$@"
