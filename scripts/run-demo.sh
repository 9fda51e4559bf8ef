#!/usr/bin/env bash
# Runs the client the way a user does: from a download folder of its own, installing
# itself under a demo root (never into the real home). Unless KORVEL_SERVICE_URL names a
# service, the bundled korvel-service is started with its demo data (agency 7, user admin,
# password demo) and stopped again when the client ends.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh"
build="${BUILD_DIR:-$here/build}"
export KORVEL_ROOT="${KORVEL_ROOT:-$build/demo-root}"
mkdir -p "$KORVEL_ROOT/Descargas"

service_pid=""
cleanup() { [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null; true; }
trap cleanup EXIT
if [ -z "${KORVEL_SERVICE_URL:-}" ]; then
  log="$build/service-data.log"
  mkdir -p "$build/service-data"
  "$build/bin/korvel-service" --demo --data "$build/service-data" --port 0 >"$log" 2>&1 &
  service_pid=$!
  for _ in $(seq 1 600); do
    line=$(grep -m 1 '^listening on ' "$log" 2>/dev/null || true)
    case "$line" in "listening on "*) break ;; esac
    kill -0 "$service_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
    sleep 0.1
  done
  base=${line#listening on }
  export KORVEL_SERVICE_URL="$base/sync/R3/sync.php"
  echo "korvel-service: $base (agencia 7, usuario admin, contraseña demo)"
fi

installed="$KORVEL_ROOT/Korvel/Korvel"
# A new build replaces the installed copy; the client's own install rules do the rest.
if [ -f "$installed" ] && ! cmp -s "$build/bin/korvel" "$installed"; then
  rm -f "$installed"
fi
cp "$build/bin/korvel" "$KORVEL_ROOT/Descargas/korvel"
"$KORVEL_ROOT/Descargas/korvel"
# The downloaded copy hands over to the installed one and ends; wait for that one.
sleep 3
while pgrep -f "^$installed" >/dev/null 2>&1; do sleep 1; done
