#!/usr/bin/env bash
# Installs what is missing, configures once and builds. BUILD_DIR and BUILD_TYPE may be set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/install-deps.sh"
build="${BUILD_DIR:-$here/build}"
# Paths inside the compiler cache are taken relative to the checkout, so a fresh clone in
# another folder (CI) reuses what earlier builds compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)"
