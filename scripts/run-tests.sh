#!/usr/bin/env bash
# The test command: installs dependencies, builds, runs every test (windows offscreen).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh"
cd "${BUILD_DIR:-$here/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
