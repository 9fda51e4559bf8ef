#!/usr/bin/env bash
# Runs the client the way a user does: from a download folder of its own, installing
# itself under a demo root (never into the real home), against KORVEL_SERVICE_URL.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh"
build="${BUILD_DIR:-$here/build}"
export KORVEL_ROOT="${KORVEL_ROOT:-$build/demo-root}"
mkdir -p "$KORVEL_ROOT/Descargas"
installed="$KORVEL_ROOT/Korvel/Korvel"
# A new build replaces the installed copy; the client's own install rules do the rest.
if [ -f "$installed" ] && ! cmp -s "$build/bin/korvel" "$installed"; then
  rm -f "$installed"
fi
cp "$build/bin/korvel" "$KORVEL_ROOT/Descargas/korvel"
exec "$KORVEL_ROOT/Descargas/korvel"
