#!/usr/bin/env bash
# Installs what is missing, configures once and builds. BUILD_DIR, BUILD_TYPE and
# KORVEL_CMAKE_ARGS (further options of the first configuration) may be set.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/install-deps.sh"
build="${BUILD_DIR:-$here/build}"
# Paths inside the compiler cache are taken relative to the checkout, so a fresh clone in
# another folder (CI) reuses what earlier builds compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
if [ ! -f "$build/build.ninja" ]; then
  # shellcheck disable=SC2086
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${KORVEL_CMAKE_ARGS:-} >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)"
