#!/usr/bin/env bash
# CPU of the running application while the keyboard page's picture animates: the simulated
# keyboard runs the column wave at its fastest speed, Tessel shows it (offscreen) and its
# processor time is read from /proc over a measuring window.
# Usage: tests/bench/keyboard_preview_cpu.sh [bin folder] [seconds]
# TESSEL_CPU_PROFILE=1 then records perf for 8 s into /tmp/kb_perf.data (perf record -g, or the
# arguments in TESSEL_PERF_ARGS, e.g. "--call-graph dwarf,16384 -F 2000" for Qt's frames).
set -euo pipefail
bin=${1:-build/default/bin}
seconds=${2:-10}
home=$(mktemp -d "${TMPDIR:-/tmp}/tessel-kbcpu.XXXXXX")
mkdir -p "$home/sim" "$home/config/tamrel wireless" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
"$bin/tessel-devsim" serve --dir "$home/sim" >/dev/null &
sim_pid=$!
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -S "$home/sim/control" ] && break; sleep 0.1; done
"$bin/tessel-devsim" --dir "$home/sim" plug keyboard --route cable >/dev/null
# mode 1 (column wave), brightness 4, speed level 4 (sent as 0), colourful
"$bin/tessel-devsim" --dir "$home/sim" poke keyboard settings 1 0104000101 >/dev/null
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
TESSEL_SIM_DIR="$home/sim" QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bin/tessel" >/dev/null 2>&1 &
app_pid=$!
sleep 5
ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); s0=$(date +%s.%N)
sleep "$seconds"
[ -n "${TESSEL_CPU_PROFILE:-}" ] && timeout 8 perf record ${TESSEL_PERF_ARGS:--g} -o /tmp/kb_perf.data -p "$app_pid" >/dev/null 2>&1 || true
t1=$(ticks); s1=$(date +%s.%N)
awk -v t="$((t1 - t0))" -v hz="$hz" -v a="$s0" -v b="$s1" \
  'BEGIN { printf "tessel CPU while the keyboard preview animates (wave, fastest): %.2f %% of one core\n", 100 * t / hz / (b - a) }'
