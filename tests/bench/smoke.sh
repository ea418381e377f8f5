#!/usr/bin/env bash
# Short run of every benchmark program in a build's bin folder (CI's benchmark stage). A
# benchmark fails the stage when it exits non-zero, prints "command failed" or an error, or
# reports a "(ratio X)" above 1: its ratios are the bus limit over the measured figure, so a
# value above 1 means the measurement itself is broken. A benchmark program without an entry in
# the table below fails too, so a new one is never skipped in silence.
# Usage: tests/bench/smoke.sh [bin folder, default build/default/bin]
set -uo pipefail
bin=${1:-build/default/bin}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# program -> its short-run arguments
declare -A args=(
  [tessel_bench_transport]="--smoke"
  [tessel_sim_bench]="--benchmark_min_time=0.05"
  [tessel_app_startup_bench]="1"
  [tessel_bench_keyboard_effects]=""
  [tessel_bench_profile_page]=""
  [tessel_bench_fault_stall]="--seconds 0.4"
  [tessel_bench_settings]="--seconds 0.5"
  [tessel_bench_sdk_server]="--quick"
  [tessel_bench_lightrecord]="--seconds 1 --trials 2"
  [tessel_bench_host_effects]=""
  [tessel_bench_dbus_calls]="--reads 20 --writes 5"
  [tessel_bench_focus_latency]=""
)
# Extra programs may name their arguments in TESSEL_BENCH_ARGS_<program>.

status=0
found=0
logs=$(mktemp -d)
for path in "$bin"/tessel_bench_* "$bin"/*_bench; do
  [ -x "$path" ] || continue
  name=$(basename "$path")
  found=$((found + 1))
  if [ -z "${args[$name]+set}" ]; then
    extra="TESSEL_BENCH_ARGS_$name"
    if [ -z "${!extra+set}" ]; then
      echo "!! $name: no short-run arguments in tests/bench/smoke.sh"
      status=1
      continue
    fi
    args[$name]=${!extra}
  fi
  echo "== $name ${args[$name]}"
  log="$logs/$name.log"
  # shellcheck disable=SC2086
  dbus-run-session -- timeout 600 "$path" ${args[$name]} >"$log" 2>&1
  rc=$?
  grep -v -e 'dbus-daemon' -e 'QStandardPaths' "$log"
  problems=()
  [ $rc -eq 0 ] || problems+=("exit status $rc")
  grep -qi 'command failed' "$log" && problems+=("a command failed")
  if grep -v -e 'dbus-daemon' "$log" | grep -Eqi '(^|[^a-z_])(error|fatal)[: ]'; then
    problems+=("an error was reported")
  fi
  over=$(grep -oE '\(ratio [0-9]+(\.[0-9]+)?\)' "$log" | grep -oE '[0-9]+(\.[0-9]+)?' |
    awk '$1 > 1.0 { print; exit }')
  [ -z "$over" ] || problems+=("ratio $over above 1 (faster than the bus allows)")
  if [ ${#problems[@]} -ne 0 ]; then
    echo "!! $name: ${problems[*]}"
    status=1
  fi
done
rm -rf "$logs"
if [ $found -eq 0 ]; then
  echo "!! no benchmark programs in $bin"
  status=1
fi
exit $status
