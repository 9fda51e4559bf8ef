#!/usr/bin/env bash
# The test command: installs dependencies, builds, runs every test (windows offscreen), then
# runs the logic and service tests once more in a build with AddressSanitizer and UBSan.
# The committed fuzz corpora are replayed in both builds (ctest's fuzz_replay_*), without clang.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh"
(cd "${BUILD_DIR:-$here/build}" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@")

[ "${KORVEL_SKIP_SANITIZERS:-0}" = 1 ] && exit 0
asan="${SANITIZE_BUILD_DIR:-$here/build-asan}"
BUILD_DIR="$asan" KORVEL_CMAKE_ARGS="-DKORVEL_SANITIZE=ON" "$here/scripts/build.sh"
cd "$asan"
# Window tests (named test_*) run in the plain build only. UBSan stops at its first finding
# so that a report fails the test instead of scrolling by.
ASAN_OPTIONS="abort_on_error=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -E '^test_' "$@"
