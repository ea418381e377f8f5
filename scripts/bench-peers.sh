#!/usr/bin/env bash
# Side-by-side start-up, memory and CPU figures for Tessel and three other Linux peripheral tools
# (Piper, Solaar, ckb-next), all run as black boxes under one Xvfb and one private session bus,
# as a non-root user, with the four simulated devices plugged. Prints per program: time until its
# window is mapped, RSS and PSS 3 s later, CPU over the next 10 s (median of RUNS runs), then
# Tessel's ratios to the best peer. Takes a few minutes; CI does not run it.
#
#   scripts/bench-peers.sh [RUNS]        (default 5; needs root to install and to switch user)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
bench_user=${BENCH_USER:-tesselbench}
bin=${TESSEL_BIN_DIR:-$root/build/default/bin}

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
as_user() { runuser -u "$bench_user" -- "$@"; }

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
as_user dbus-daemon --session --nofork --print-address=1 --address="unix:path=$work/bus.d/bus" > "$work/bus.addr" &
bus_pid=$!
for _ in $(seq 100); do [ -s "$work/bus.addr" ] && break; sleep 0.1; done
bus_addr=$(head -n1 "$work/bus.addr")

# The four simulated devices, reachable by the benchmark user.
sim_dir="$work/sim"; mkdir -m 777 "$sim_dir"
"$bin/tessel-devsim" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
"$bin/tessel-devsim" --dir "$sim_dir" plug keyboard --route cable >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug mouse --route receiver >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug pad >/dev/null
"$bin/tessel-devsim" --dir "$sim_dir" plug headset >/dev/null
chmod a+rw "$sim_dir"/* 2>/dev/null || true

clk=$(getconf CLK_TCK)
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
mem_kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }

# measure NAME WINDOW_CLASS_REGEX COMMAND... -> one line "ms rss_kb pss_kb cpu_pct"
measure() {
  local cls=$1; shift
  local t0 win pid t1 c0 c1
  t0=$(now_ms)
  runuser -u "$bench_user" -- env DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="$bus_addr" \
    TESSEL_SIM_DIR="$sim_dir" HOME="$(getent passwd "$bench_user" | cut -d: -f6)" \
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
  [ -n "$win" ] || { echo "NA NA NA NA"; kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; app_pid=""; return; }
  pid=$(xdotool getwindowpid "$win" 2>/dev/null || true)
  [ -n "$pid" ] || pid=$(pgrep -n -u "$bench_user" -P "$app_pid" || echo "$app_pid")
  sleep 3
  local rss pss
  rss=$(mem_kb "$pid" Rss); pss=$(mem_kb "$pid" Pss)
  c0=$(cpu_ticks "$pid"); sleep 10; c1=$(cpu_ticks "$pid")
  echo "$((t1 - t0)) $rss $pss $(awk -v d=$((c1 - c0)) -v c="$clk" 'BEGIN{printf "%.2f", 100*d/c/10}')"
  kill "$pid" "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  sleep 1
}

median() { sort -g | awk '{a[NR]=$1} END{ if (NR==0 || a[1]=="NA") print "NA"; else print a[int((NR+1)/2)] }'; }

declare -A res
programs=(tessel piper solaar ckb-next)
for prog in "${programs[@]}"; do
  : > "$work/$prog.txt"
  for _ in $(seq "$runs"); do
    case $prog in
      tessel)   measure '^tessel$' "$bin/tessel" ;;
      piper)    measure '^piper$' piper ;;
      solaar)   measure '^solaar$' solaar --window=show ;;
      ckb-next) measure '^ckb-next$' ckb-next ;;
    esac >> "$work/$prog.txt"
  done
  for col in 1 2 3 4; do res[$prog,$col]=$(awk -v c=$col '{print $c}' "$work/$prog.txt" | median); done
done

printf '%-10s %10s %10s %10s %8s\n' program window_ms rss_MB pss_MB cpu_%
for prog in "${programs[@]}"; do
  printf '%-10s %10s %10s %10s %8s\n' "$prog" "${res[$prog,1]}" \
    "$(awk -v k="${res[$prog,2]}" 'BEGIN{ if (k=="NA") print "NA"; else printf "%.1f", k/1024 }')" \
    "$(awk -v k="${res[$prog,3]}" 'BEGIN{ if (k=="NA") print "NA"; else printf "%.1f", k/1024 }')" \
    "${res[$prog,4]}"
done
for col in 1 2 3; do
  best=$(for p in piper solaar ckb-next; do echo "${res[$p,$col]}"; done | grep -v NA | sort -g | head -n1)
  name=$([ $col = 1 ] && echo window || { [ $col = 2 ] && echo rss || echo pss; })
  awk -v t="${res[tessel,$col]}" -v b="$best" -v n="$name" \
    'BEGIN{ if (t=="NA" || b=="" ) print "ratio " n ": NA"; else printf "ratio %s: %.2fx the best peer\n", n, t/b }'
done
echo "runs per program: $runs; load: $(uptime)"
