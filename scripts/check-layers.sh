#!/usr/bin/env bash
# Fails when a library under src/ reaches a library above it: a source file that
# includes one of its headers, or a CMakeLists.txt that links it. The layers, lowest
# first (libraries of one layer may use each other, never one of a higher layer):
#   core < db < records < search, sync < sections < ui < app
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A layer=(
  [core]=0
  [db]=1
  [records]=2
  [search]=3 [sync]=3
  [selections]=4 [listings]=4 [directory]=4 [messages]=4 [reports]=4
  [ui]=5
  [app]=6
)
# CMake targets that are not named after their folder.
declare -A target_folder=([sync_wire]=sync)

failed=0
complain() {
  echo "check-layers: $*" >&2
  failed=1
}

for dir in src/*/; do
  lib=$(basename "$dir")
  if [[ -z "${layer[$lib]+set}" ]]; then
    complain "src/$lib has no place in the layer order of scripts/check-layers.sh"
    continue
  fi
  own=${layer[$lib]}

  # Headers of higher libraries, by the folder the include names.
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    used=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([a-z_]+)\/.*/\1/p' <<<"${rest#*:}")
    if [[ -n "$used" && -n "${layer[$used]+set}" && ${layer[$used]} -gt $own ]]; then
      complain "$file:$line: $lib includes a header of $used, which is above it"
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$dir" --include='*.cpp' --include='*.h' || true)

  # Libraries linked by the folder's targets.
  cmake_file="${dir%/}/CMakeLists.txt"
  [[ -f "$cmake_file" ]] || continue
  for call in $(tr '\n' ' ' <"$cmake_file" | grep -oE 'target_link_libraries\([^)]*\)' | tr ' ' '\n' || true); do
    name=${call#target_link_libraries(}
    name=${name%)}
    folder=${target_folder[$name]:-$name}
    if [[ -n "$name" && -n "${layer[$folder]+set}" && ${layer[$folder]} -gt $own ]]; then
      complain "$cmake_file: $lib links $name, which is above it"
    fi
  done
done

exit $failed
