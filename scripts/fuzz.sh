#!/usr/bin/env bash
# Builds every libFuzzer target (the "fuzz" preset: clang, address and undefined-behaviour
# sanitizers) and runs each one for N seconds. Fails if any target crashes, leaks or meets
# undefined behaviour (the preset stops at the first; any "runtime error" in a log fails too).
# Usage: scripts/fuzz.sh [seconds per target, default 60]
#
# Targets are the CMake targets named fuzz_*; each layer adds its own in tests/fuzz/<layer>.cmake.
# A target's corpus grows in build/fuzz/corpus/<name>; tests/fuzz/<name>.seeds, when present,
# seeds it. Crash inputs land in build/fuzz/artifacts/, logs in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [seconds per target]" >&2
  exit 2
fi

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
build=build/fuzz

# Only the fuzz targets are built, so the GUI layers never need to compile under clang.
mapfile -t targets < <(cmake --build "$build" --target help |
  sed -n 's/^\(fuzz_[A-Za-z0-9_]*\):.*/\1/p' | grep -v '_autogen' | sort -u)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz_* targets configured" >&2
  exit 1
fi
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/logs" "$build/artifacts"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=()
for t in "${targets[@]}"; do
  if [ ! -x "$build/bin/$t" ]; then
    echo "!! $t: no executable was built"
    failed+=("$t")
    continue
  fi
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  dirs=("$corpus")
  if [ -d "tests/fuzz/$t.seeds" ]; then dirs+=("tests/fuzz/$t.seeds"); fi
  log="$build/logs/$t.log"
  echo "== $t: ${seconds}s"
  if "$build/bin/$t" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
       -artifact_prefix="$build/artifacts/$t-" -print_final_stats=1 "${dirs[@]}" >"$log" 2>&1 &&
     ! grep -q 'runtime error:' "$log"; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" | tail -2 || true
  else
    echo "!! $t failed; last lines of $log:"
    tail -n 30 "$log"
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
echo "all ${#targets[@]} fuzz targets ran ${seconds}s each without a crash"
