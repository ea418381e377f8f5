#!/usr/bin/env bash
# Side-by-side start-up, memory and CPU figures for Tessel and three other Linux peripheral tools
# (Piper, Solaar, ckb-next), all run as black boxes under one Xvfb and one private session bus,
# as a non-root user (ckb-next refuses to run as root). The peers run without their daemons and
# devices; Tessel runs twice, once with the four simulated devices plugged and once with none.
#
# Per program and case: time from start until its window is mapped (xdotool), RSS and PSS 3 s
# later, CPU over the next 10 s with the window open, then CPU over 10 s with the window hidden
# (unmapped with xdotool, as hiding to the tray does; a bare Xvfb has no tray). Each figure is
# the median of RUNS runs. Then Tessel's ratios to the best peer (window with four devices and
# with none, RSS and PSS with four devices) and its CPU next to its goals: the devices in their
# default effects, and once more on static lighting with the window hidden. Takes minutes; CI
# does not run it.
#
#   scripts/bench-peers.sh [RUNS]        (default 5; needs root to install and to switch user)
#   BENCH_PROGRAMS="tessel" scripts/bench-peers.sh 3     (a subset, for a quick look)
#   TESSEL_BIN_DIR=...                                   (another build's bin folder)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
bench_user=${BENCH_USER:-tesselbench}
bin=${TESSEL_BIN_DIR:-$root/build/default/bin}
read -r -a programs <<< "${BENCH_PROGRAMS:-tessel piper solaar ckb-next}"

[ "$(id -u)" -eq 0 ] || { echo "run as root (installs packages and runs the programs as $bench_user)" >&2; exit 2; }

need=()
for p in piper:piper solaar:solaar ckb-next:ckb-next Xvfb:xvfb xdotool:xdotool dbus-daemon:dbus; do
  command -v "${p%%:*}" >/dev/null 2>&1 || need+=("${p#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
[ -x "$bin/tessel" ] || { cmake --preset default >/dev/null; cmake --build --preset default --target tessel tessel-devsim; }
id "$bench_user" >/dev/null 2>&1 || useradd -m "$bench_user"
bench_home=$(getent passwd "$bench_user" | cut -d: -f6)

work=$(mktemp -d /tmp/tessel-bench.XXXXXX)
chmod 755 "$work"
xvfb_pid="" bus_pid="" sim_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# One X server for every run; it picks a free display number itself.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 3>"$work/displayfd" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/displayfd")"
xhost +SI:localuser:"$bench_user" >/dev/null 2>&1 || xhost + >/dev/null 2>&1 || true

# One private session bus, owned by the benchmark user.
mkdir -m 700 "$work/bus.d" && chown "$bench_user" "$work/bus.d"
runuser -u "$bench_user" -- dbus-daemon --session --nofork --print-address=1 --address="unix:path=$work/bus.d/bus" > "$work/bus.addr" &
bus_pid=$!
for _ in $(seq 100); do [ -s "$work/bus.addr" ] && break; sleep 0.1; done
bus_addr=$(head -n1 "$work/bus.addr")

# The simulator, reachable by the benchmark user; the devices are plugged per case.
sim_dir="$work/sim"; mkdir -m 777 "$sim_dir"
"$bin/tessel-devsim" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
devsim() { "$bin/tessel-devsim" --dir "$sim_dir" "$@" >/dev/null; }
plug_four() {
  devsim plug keyboard --route cable
  devsim plug mouse --route receiver
  devsim plug pad
  devsim plug headset
  chmod a+rw "$sim_dir"/* 2>/dev/null || true
}
# The mouse is plugged through its receiver, so it is unplugged from there.
unplug_all() {
  devsim unplug keyboard || true
  devsim unplug mouse --route receiver || true
  devsim unplug pad || true
  devsim unplug headset || true
  # A device left plugged would make the no-device figures those of a device.
  if [ -n "$(ls "$sim_dir" | grep -v '^control$')" ]; then
    echo "devices still plugged after unplugging them all: $(ls "$sim_dir" | grep -v '^control$' | tr '\n' ' ')" >&2
    exit 1
  fi
}

clk=$(getconf CLK_TCK)
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
mem_kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
cpu_pct() { awk -v d="$1" -v c="$clk" -v s="$2" 'BEGIN{printf "%.2f", 100*d/c/s}'; }

# measure CLASS_REGEX COMMAND... -> one line "ms rss_kb pss_kb cpu_pct hidden_cpu_pct"
measure() {
  local cls=$1; shift
  local t0 win pid t1 c0 c1 h0 h1 rss pss
  rm -rf "$work/home"; mkdir -p "$work/home"
  # A case may bring the user's data folder as a first start would have left it.
  [ -z "${seed_data:-}" ] || cp -r "$seed_data" "$work/home/data"
  chown -R "$bench_user" "$work/home"
  t0=$(now_ms)
  runuser -u "$bench_user" -- env DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="$bus_addr" \
    TESSEL_SIM_DIR="$sim_dir" HOME="$bench_home" \
    XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    "$@" >/dev/null 2>&1 &
  app_pid=$!
  # xdotool's own --sync polls only every 0.5 s, too coarse for these times: poll every 10 ms.
  win=""
  for _ in $(seq 3000); do
    win=$(xdotool search --onlyvisible --class "$cls" 2>/dev/null | head -n1) || true
    [ -n "$win" ] && break
    sleep 0.01
  done
  t1=$(now_ms)
  if [ -z "$win" ]; then
    # No window within 30 s: this run counts as NA, and the benchmark goes on.
    echo "NA NA NA NA NA"
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    return 0
  fi
  pid=$(xdotool getwindowpid "$win" 2>/dev/null || true)
  [ -n "$pid" ] || pid=$(pgrep -n -u "$bench_user" -P "$app_pid" || echo "$app_pid")
  sleep 3
  rss=$(mem_kb "$pid" Rss); pss=$(mem_kb "$pid" Pss)
  c0=$(cpu_ticks "$pid"); sleep 10; c1=$(cpu_ticks "$pid")
  # Hidden: every window of the program unmapped; the first 2 s let it settle.
  for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do xdotool windowunmap "$w" 2>/dev/null || true; done
  sleep 2
  h0=$(cpu_ticks "$pid"); sleep 10; h1=$(cpu_ticks "$pid")
  echo "$((t1 - t0)) $rss $pss $(cpu_pct $((c1 - c0)) 10) $(cpu_pct $((h1 - h0)) 10)"
  kill "$pid" "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  # The next start must not find this one still ending (Tessel would hand over to it and exit).
  for _ in $(seq 100); do [ -d "/proc/$pid" ] || break; sleep 0.1; done
  sleep 1
}

# Static lighting on every device, as the user's choice leaves it: the keyboard and the mouse keep
# their mode in their own settings (byte 1 of the active profile's block: 6 and 3), the pad and
# the headset take theirs from the profile Tessel keeps for them ("SelectItem" 3).
static_lighting() {
  devsim poke keyboard settings 1 06
  devsim poke mouse settings 1 03
  python3 "$root/tests/bench/static_profiles.py" "$work/static.data" "$bin/DefaultData"
}

median() { sort -g | awk '{a[NR]=$1} END{ if (NR==0 || a[1]=="NA") print "NA"; else print a[int((NR+1)/2)] }'; }

declare -A res
rows=()
run_case() {
  local row=$1; shift
  rows+=("$row")
  : > "$work/$row.txt"
  for _ in $(seq "$runs"); do measure "$@" >> "$work/$row.txt"; done
  for col in 1 2 3 4 5; do res[$row,$col]=$(awk -v c=$col '{print $c}' "$work/$row.txt" | median); done
}

peers=()
for prog in "${programs[@]}"; do
  case $prog in
    tessel)
      plug_four
      run_case tessel-4dev '^tessel$' "$bin/tessel"
      unplug_all
      run_case tessel-none '^tessel$' "$bin/tessel"
      plug_four
      static_lighting
      seed_data=$work/static.data run_case tessel-static '^tessel$' "$bin/tessel"
      unplug_all
      plug_four ;;
    # The peers see no simulated device either way; they run with the four plugged.
    piper)    plug_four; peers+=(piper);    run_case piper '^piper$' piper ;;
    solaar)   plug_four; peers+=(solaar);   run_case solaar '^solaar$' solaar --window=show ;;
    ckb-next) plug_four; peers+=(ckb-next); run_case ckb-next '^ckb-next$' ckb-next ;;
  esac
done

mb() { awk -v k="$1" 'BEGIN{ if (k=="NA") print "NA"; else printf "%.1f", k/1024 }'; }
printf '%-13s %10s %8s %8s %8s %9s\n' program window_ms rss_MB pss_MB cpu_% hidden_%
for row in "${rows[@]}"; do
  printf '%-13s %10s %8s %8s %8s %9s\n' "$row" "${res[$row,1]}" "$(mb "${res[$row,2]}")" \
    "$(mb "${res[$row,3]}")" "${res[$row,4]}" "${res[$row,5]}"
done

best() { for p in "${peers[@]}"; do echo "${res[$p,$1]}"; done | grep -v NA | sort -g | head -n1; }
ratio() {  # NAME TESSEL_ROW COLUMN GOAL
  local b t; b=$(best "$3"); t=${res[$2,$3]:-NA}
  awk -v t="$t" -v b="$b" -v n="$1" -v g="$4" \
    'BEGIN{ if (t=="NA" || t=="" || b=="" || b==0) printf "%-36s NA\n", n;
            else printf "%-36s %.2fx the best peer (goal <= %sx) %s\n", n, t/b, g, (t/b <= g ? "met" : "NOT met") }'
}
goal() {  # NAME VALUE GOAL
  awk -v v="$2" -v n="$1" -v g="$3" \
    'BEGIN{ if (v=="NA" || v=="") printf "%-36s NA\n", n;
            else printf "%-36s %.2f %% of one core (goal <= %s %%) %s\n", n, v, g, (v <= g ? "met" : "NOT met") }'
}
if [ ${#peers[@]} -gt 0 ]; then
  ratio "window, four devices" tessel-4dev 1 0.6
  ratio "window, no device" tessel-none 1 0.4
  ratio "rss, four devices" tessel-4dev 2 0.8
  ratio "pss, four devices" tessel-4dev 3 0.8
fi
if [ -n "${res[tessel-4dev,1]:-}" ]; then
  goal "cpu, four devices, window open" "${res[tessel-4dev,4]}" 2
  goal "cpu, four devices, window hidden" "${res[tessel-4dev,5]}" 0.5
fi
if [ -n "${res[tessel-static,1]:-}" ]; then
  goal "cpu, static lighting, window hidden" "${res[tessel-static,5]}" 0.1
fi
echo "runs per program: $runs; load: $(uptime)"
