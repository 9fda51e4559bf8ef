#!/usr/bin/env bash
# Fuzzes one target by hand with libFuzzer, in its own clang build (build-fuzz/):
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is one of: envelope import search_text service_request. The run starts from the
# committed seed corpus (fuzz/corpus/TARGET) and keeps what it finds in build-fuzz/corpus/TARGET;
# a crashing input lands in build-fuzz/artifacts/TARGET/. The whole output is kept in
# build-fuzz/logs/. One process, one worker: the machine is shared.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
targets=(envelope import search_text service_request)
if [ $# -lt 2 ] || [[ ! " ${targets[*]} " == *" $1 "* ]] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]  (TARGET: ${targets[*]})" >&2
  exit 2
fi
target="$1" seconds="$2"
shift 2

"$here/scripts/install-deps.sh"
build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DKORVEL_FUZZ=ON -DKORVEL_BUILD_TESTS=OFF -DKORVEL_WERROR=OFF >/dev/null
fi
cmake --build "$build" --target "fuzz_$target" -- -j1

corpus="$build/corpus/$target"
artifacts="$build/artifacts/$target"
# The target's own throw-away folders (database, log) go here and nowhere else.
scratch="$build/tmp/$target"
rm -rf "$scratch"
mkdir -p "$corpus" "$artifacts" "$build/logs" "$scratch"
dict=()
[ -f "$here/fuzz/dict/$target.dict" ] && dict=(-dict="$here/fuzz/dict/$target.dict")
log="$build/logs/$target-$(date -u +%Y%m%dT%H%M%SZ).log"
echo "fuzz: $target for $seconds s, log $log"

# A sanitizer finding, a leak or a broken check of the target stops the run with its input.
status=0
ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}" \
UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}" \
QT_QPA_PLATFORM=offscreen TMPDIR="$scratch" \
  "$build/bin/fuzz_$target" "$corpus" "$here/fuzz/corpus/$target" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@" >"$log" 2>&1 || status=$?

rm -rf "$scratch"
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR:|SUMMARY:|fuzz check failed|Test unit written' "$log" || true
if [ "$status" -ne 0 ]; then
  echo "fuzz: $target stopped with a finding (exit $status); inputs in $artifacts" >&2
  exit "$status"
fi
echo "fuzz: $target ran $seconds s without a finding"
