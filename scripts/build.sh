#!/usr/bin/env bash
# Installs what is missing, configures once and builds. BUILD_DIR and BUILD_TYPE may be set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/install-deps.sh"
build="${BUILD_DIR:-$here/build}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)"
