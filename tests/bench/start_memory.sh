#!/usr/bin/env bash
# Start-up of Tessel in the tray (--minimized) and in the background (--background) against a
# start with its window shown, each under its own Xvfb and D-Bus session with the simulator's
# four devices: the time to the first scan's decision (tray, background or window), the memory
# (RSS and PSS from smaps_rollup) once the devices are listed and the process has settled, and
# the CPU it uses over the next IDLE_SECONDS (default 10) seconds in its default effects; plus
# the `tessel --version` time. Prints figures; asserts nothing.
# Usage: tests/bench/start_memory.sh [bin folder] [runs]
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

idle_seconds=${IDLE_SECONDS:-10}
export IDLE_SECONDS=$idle_seconds

# One start: prints "<ms to decision> <rss KiB> <pss KiB> <cpu % of one core>".
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
    # utime + stime (fields 14 and 15 of /proc/PID/stat, after the command name) over the idle time.
    ticks() { sed "s/.*) //" /proc/$pid/stat | awk "{print \$12 + \$13}"; }
    c0=$(ticks); t1=$(date +%s%N)
    sleep "$IDLE_SECONDS"
    c1=$(ticks); t2=$(date +%s%N)
    cpu=$(awk -v c="$((c1 - c0))" -v hz="$(getconf CLK_TCK)" -v ns="$((t2 - t1))" "BEGIN {printf \"%.2f\", 100 * c / hz / (ns / 1e9)}")
    echo "$decided $rss $pss $cpu"
    kill -TERM $pid; wait $pid || true
  '
  rm -rf "$home"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A results
for mode in minimized background shown; do
  args=""
  [ "$mode" = shown ] || args="--$mode"
  : >"$sim_dir/$mode.txt"
  for _ in $(seq "$runs"); do measure $args >>"$sim_dir/$mode.txt"; done
  for field in ms:1 rss:2 pss:3 cpu:4; do
    results[$mode.${field%:*}]=$(awk -v f="${field#*:}" '{print $f}' "$sim_dir/$mode.txt" | median)
  done
  case $mode in minimized) to=tray ;; background) to="background" ;; *) to=window ;; esac
  printf '%-10s start to %s: %s ms, RSS %s KiB, PSS %s KiB, CPU %s %% of one core over %s s (median of %s)\n' \
    "$mode" "$to" "${results[$mode.ms]}" "${results[$mode.rss]}" "${results[$mode.pss]}" \
    "${results[$mode.cpu]}" "$idle_seconds" "$runs"
done
for mode in minimized background; do
  awk -v m="${results[$mode.pss]}" -v s="${results[shown.pss]}" -v r="${results[$mode.rss]}" -v sr="${results[shown.rss]}" \
    -v name="$mode" -v goal="$([ "$mode" = minimized ] && echo "<= 0.50" || echo "< 0.50")" \
    'BEGIN {printf "%s / shown: PSS %.2f, RSS %.2f (goal %s)\n", name, m / s, r / sr, goal}'
done
printf 'background idle CPU with four devices: %s %% of one core (goal < 0.2 %%)\n' "${results[background.cpu]}"

best=""
for _ in $(seq 20); do
  t0=$(date +%s%N)
  env -u DISPLAY -u QT_QPA_PLATFORM "$bin/tessel" --version >/dev/null
  t=$(( ($(date +%s%N) - t0) / 1000 ))
  if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
printf 'tessel --version: %d.%03d ms (best of 20; goal < 30 ms)\n' $((best / 1000)) $((best % 1000))
