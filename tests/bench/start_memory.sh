#!/usr/bin/env bash
# Start-up of Tessel in the tray (--minimized) against a start with its window shown, each
# under its own Xvfb and D-Bus session with the simulator's four devices: the time to the first
# scan's decision (tray or window) and the memory (RSS and PSS from smaps_rollup) once the
# devices are listed and the process has settled; plus the `tessel --version` time. Prints
# figures; asserts nothing. Usage: tests/bench/start_memory.sh [bin folder] [runs]
set -euo pipefail
bin=$(cd "${1:-build/default/bin}" && pwd)
runs=${2:-3}

sim_dir=$(mktemp -d)
"$bin/tessel-devsim" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true; rm -rf "$sim_dir"' EXIT
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
"$bin/tessel-devsim" --dir "$sim_dir" plug keyboard --route cable >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug mouse --route receiver >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug pad >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug headset >/dev/null
export TESSEL_SIM_DIR=$sim_dir BIN=$bin

# One start: prints "<ms to decision> <rss KiB> <pss KiB>".
measure() {
  local home
  home=$(mktemp -d)
  mkdir -m 700 "$home/runtime"
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/runtime \
  TESSEL_DEBUG=1 TESSEL_ARGS="$*" LOG=$home/log xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- bash -c '
    t0=$(date +%s%N)
    "$BIN/tessel" $TESSEL_ARGS >"$LOG" 2>&1 &
    pid=$!
    decided=""
    for _ in $(seq 600); do
      if [ -z "$decided" ] && grep -q "0d0d" "$LOG"; then decided=$(( ($(date +%s%N) - t0) / 1000000 )); fi
      n=$("$BIN/tesselctl" devices --json 2>/dev/null | grep -o "\"kind\"" | wc -l || true)
      [ -n "$decided" ] && [ "${n:-0}" -ge 4 ] && break
      sleep 0.05
    done
    sleep 2  # let the pages and their first reads settle
    rss=$(awk "/^Rss:/ {print \$2}" /proc/$pid/smaps_rollup)
    pss=$(awk "/^Pss:/ {print \$2}" /proc/$pid/smaps_rollup)
    [ -n "$rss" ] || { echo "Tessel ended early:" >&2; tail -n 20 "$LOG" >&2; }
    echo "$decided $rss $pss"
    kill -TERM $pid; wait $pid || true
  '
  rm -rf "$home"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A results
for mode in minimized shown; do
  args=""
  [ "$mode" = minimized ] && args="--minimized"
  : >"$sim_dir/$mode.txt"
  for _ in $(seq "$runs"); do measure $args >>"$sim_dir/$mode.txt"; done
  results[$mode.ms]=$(awk '{print $1}' "$sim_dir/$mode.txt" | median)
  results[$mode.rss]=$(awk '{print $2}' "$sim_dir/$mode.txt" | median)
  results[$mode.pss]=$(awk '{print $3}' "$sim_dir/$mode.txt" | median)
  printf '%-9s start to %s: %s ms, RSS %s KiB, PSS %s KiB (median of %s)\n' "$mode" \
    "$([ "$mode" = minimized ] && echo "tray" || echo "window")" "${results[$mode.ms]}" \
    "${results[$mode.rss]}" "${results[$mode.pss]}" "$runs"
done
awk -v m="${results[minimized.pss]}" -v s="${results[shown.pss]}" \
  'BEGIN {printf "minimized / shown PSS: %.2f (goal <= 0.50)\n", m / s}'

best=""
for _ in $(seq 20); do
  t0=$(date +%s%N)
  env -u DISPLAY -u QT_QPA_PLATFORM "$bin/tessel" --version >/dev/null
  t=$(( ($(date +%s%N) - t0) / 1000 ))
  if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
printf 'tessel --version: %d.%03d ms (best of 20; goal < 30 ms)\n' $((best / 1000)) $((best % 1000))
