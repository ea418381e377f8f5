#!/usr/bin/env bash
# Tessel's own cost, counted in CPU time so that the figures hold on a loaded machine (wall
# times are noise there): the CPU spent from the process start until its window is shown, then
# resident and proportional memory, then CPU over a stretch with the window open and one with it
# hidden. Cases: the simulator's four devices in their default effects, no device, and the four
# devices on static lighting (written to their profiles before the start). One Xvfb of the size
# the side-by-side benchmark uses, one private session bus. Prints figures; asserts nothing.
#
#   tests/bench/start_cpu.sh [bin folder] [runs]        (defaults: build/default/bin, 5)
#   CPU_SECONDS=0 ...        start-up and memory only (the open/hidden CPU stretches skipped)
#   CASES="four none" ...    a subset of the cases (four, none, static)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-build/default/bin}" && pwd)
runs=${2:-5}
secs=${CPU_SECONDS:-10}
read -r -a cases <<< "${CASES:-four none static}"

if [ -z "${BENCH_INNER:-}" ]; then
  # One X server and one session bus for every run.
  export BENCH_INNER=1
  exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- bash "$0" "$bin" "$runs"
fi

work=$(mktemp -d)
sim_dir=$work/sim
mkdir "$sim_dir"
"$bin/tessel-devsim" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
app_pid=""
trap '[ -n "$app_pid" ] && kill $app_pid 2>/dev/null; kill $sim_pid 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.05; done
devsim() { "$bin/tessel-devsim" --dir "$sim_dir" "$@" >/dev/null; }
plug_four() {
  devsim plug keyboard --route cable
  devsim plug mouse --route receiver
  devsim plug pad
  devsim plug headset
}
unplug_all() {
  devsim unplug keyboard || true
  devsim unplug mouse --route receiver || true
  devsim unplug pad || true
  devsim unplug headset || true
}

clk=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# The UI thread's CPU time in ns (exact, where the tick count above is 10 ms coarse).
ui_ns() { awk '{print $1}' "/proc/$1/schedstat" 2>/dev/null || echo 0; }
mem_kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }

# One start (with a copy of the data folder $1 when given): "<cpu ms to window> <ui thread cpu ms to window> <wall ms to window> <rss KiB> <pss KiB> <cpu % open> <cpu % hidden>"
measure() {
  local template=$1 home log t0 t1 c_show c0 c1 h0 h1 rss pss shown="" open=NA hidden=NA
  home=$work/home.$RANDOM
  mkdir -p "$home/runtime"; chmod 700 "$home/runtime"
  log=$home/log
  [ -z "$template" ] || cp -r "$template" "$home/data"
  t0=$(date +%s%N)
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/runtime \
    TESSEL_SIM_DIR=$sim_dir TESSEL_DEBUG=1 "$bin/tessel" >"$log" 2>&1 &
  app_pid=$!
  # The first scan's instance message handled with the window to be shown.
  for _ in $(seq 3000); do
    if grep -q "0d0d" "$log"; then shown=1; break; fi
    kill -0 $app_pid 2>/dev/null || break
    sleep 0.01
  done
  c_show=$(ticks $app_pid); ui_show=$(ui_ns $app_pid); t1=$(date +%s%N)
  if [ -z "$shown" ]; then
    echo "NA NA NA NA NA NA NA"; kill $app_pid 2>/dev/null || true; wait $app_pid 2>/dev/null || true; app_pid=""; return
  fi
  sleep 3
  rss=$(mem_kb $app_pid Rss); pss=$(mem_kb $app_pid Pss)
  if [ "$secs" != 0 ]; then
    c0=$(ticks $app_pid); sleep "$secs"; c1=$(ticks $app_pid)
    open=$(awk -v d=$((c1 - c0)) -v c="$clk" -v s="$secs" 'BEGIN{printf "%.2f", 100*d/c/s}')
    for w in $(xdotool search --onlyvisible --pid $app_pid 2>/dev/null); do xdotool windowunmap "$w" 2>/dev/null || true; done
    sleep 2
    h0=$(ticks $app_pid); sleep "$secs"; h1=$(ticks $app_pid)
    hidden=$(awk -v d=$((h1 - h0)) -v c="$clk" -v s="$secs" 'BEGIN{printf "%.2f", 100*d/c/s}')
  fi
  echo "$((c_show * 1000 / clk)) $((ui_show / 1000000)) $(( (t1 - t0) / 1000000 )) $rss $pss $open $hidden"
  kill -TERM $app_pid 2>/dev/null || true; wait $app_pid 2>/dev/null || true; app_pid=""
}

# Static lighting on every device, as the user's choice leaves it. The keyboard and the mouse
# keep their mode in their own settings (byte 1 of the active profile's block, the mode list's
# value: 6 and 3), which Tessel takes when they connect; the pad and the headset take theirs from
# the profile Tessel keeps for them ("SelectItem" 3), written here before the start.
static_lighting() {
  devsim poke keyboard settings 1 06
  devsim poke mouse settings 1 03
  python3 "$here/static_profiles.py" "$work/static.data" "$bin/DefaultData"
  echo "$work/static.data"
}

median() { sort -g | awk '{a[NR]=$1} END{ if (NR==0 || a[1]=="NA") print "NA"; else print a[int((NR+1)/2)] }'; }

printf '%-8s %12s %11s %11s %8s %8s %8s %9s\n' case cpu_to_win_ms ui_to_win_ms wall_win_ms rss_MB pss_MB cpu_% hidden_%
for c in "${cases[@]}"; do
  template=""
  case $c in
    four) plug_four ;;
    none) unplug_all ;;
    static) plug_four; template=$(static_lighting) ;;
    *) echo "unknown case $c" >&2; exit 2 ;;
  esac
  : >"$work/$c.txt"
  for _ in $(seq "$runs"); do measure "$template" >>"$work/$c.txt"; done
  col() { awk -v c="$1" '{print $c}' "$work/$c.txt" | median; }
  mb() { awk -v k="$1" 'BEGIN{ if (k=="NA") print "NA"; else printf "%.1f", k/1024 }'; }
  printf '%-8s %12s %11s %11s %8s %8s %8s %9s\n' "$c" "$(col 1)" "$(col 2)" "$(col 3)" "$(mb "$(col 4)")" "$(mb "$(col 5)")" "$(col 6)" "$(col 7)"
  unplug_all
done
echo "median of $runs runs; cpu_to_win: CPU ms of the whole process (10 ms ticks), ui_to_win: of its UI thread; load: $(cut -d' ' -f1-3 /proc/loadavg)"
