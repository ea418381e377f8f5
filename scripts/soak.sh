#!/usr/bin/env bash
# Soak: a running Tessel on the device simulator, put through many rounds of what users and
# devices do to it, printing how its resources and responsiveness hold up.
#
#   scripts/soak.sh [--cycles N] [--report-every N] [--kills N] [--bin DIR]
#                   [--max-rss-growth-kb KB] [--max-stall-ms MS] [--warmup N] [--only 0-4]
#
# Each cycle is one of, in turn: unplug and plug all four devices; move the keyboard and the
# mouse from cable to receiver and back; switch the wireless mouse off and on; inject faults
# (dropped replies, late replies, a device unplugged mid-transfer) while the pages read the
# devices; press the on-device profile buttons (each switch is a profile save). Between cycles a
# prober measures the event loop's answer time through a D-Bus round trip (ListDevices, which
# Tessel answers on its main thread) every 100 ms. Then Tessel is killed with -9
# right after profile switches (mid-save), restarted on the same data, and every JSON file of
# its data folder must still parse.
#
# Printed per report: cycle, operations done, RSS (KB), open files, threads, the longest
# round trip so far (ms). It fails (exit 1) when RSS after the cycles exceeds RSS after the
# warm-up by more than --max-rss-growth-kb, when open files or threads grew, when any round trip
# took longer than --max-stall-ms, when Tessel died, or when a killed save left a damaged file.
# Runs Tessel offscreen by default (QT_QPA_PLATFORM is kept when set). Needs a session bus:
# run it under dbus-run-session when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."

cycles=150
report_every=25
kills=3
bin=build/default/bin
max_rss_growth_kb=2048
max_stall_ms=250
warmup=20
only=""  # 0-4: every cycle of that one kind (to tell which kind of operation costs memory)
while [ $# -gt 0 ]; do
  case "$1" in
    --cycles) cycles=$2; shift 2 ;;
    --report-every) report_every=$2; shift 2 ;;
    --kills) kills=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --max-rss-growth-kb) max_rss_growth_kb=$2; shift 2 ;;
    --max-stall-ms) max_stall_ms=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    *) echo "soak: unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in tessel tessel-devsim tesselctl; do
  [ -x "$bin/$tool" ] || { echo "soak: $bin/$tool not built" >&2; exit 2; }
done
command -v dbus-send >/dev/null || { echo "soak: dbus-send is needed" >&2; exit 2; }
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "soak: no session bus (run under dbus-run-session)" >&2; exit 2; }
bin=$(cd "$bin" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tessel-soak.XXXXXX")
mkdir -p "$work/sim" "$work/data" "$work/config" "$work/run"
chmod 700 "$work/run"
export TESSEL_SIM_DIR="$work/sim" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
sim_pid="" tessel_pid="" prober_pid=""
cleanup() {
  for p in $prober_pid $tessel_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  for p in $prober_pid $tessel_pid $sim_pid; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

sim() { "$bin/tessel-devsim" --dir "$work/sim" "$@" >/dev/null; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
fail() { echo "soak: FAIL: $*" >&2; exit 1; }

start_tessel() {
  # TESSEL_SOAK_WRAPPER runs Tessel under a tool (heaptrack, valgrind); figures are then the tool's.
  ${TESSEL_SOAK_WRAPPER:-} "$bin/tessel" >>"$work/tessel.log" 2>&1 &
  tessel_pid=$!
  # Up when it answers on the bus and lists the four devices.
  for _ in $(seq 300); do
    if [ "$("$bin/tesselctl" devices 2>/dev/null | tail -n +2 | grep -c .)" -ge 4 ]; then return 0; fi
    kill -0 "$tessel_pid" 2>/dev/null || fail "Tessel ended at start-up (log: $(tail -3 "$work/tessel.log"))"
    sleep 0.1
  done
  fail "Tessel did not list the four devices within 30 s"
}
alive() { kill -0 "$tessel_pid" 2>/dev/null || fail "Tessel died (log: $(tail -5 "$work/tessel.log"))"; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$tessel_pid/status"; }
open_files() { find "/proc/$tessel_pid/fd" -mindepth 1 2>/dev/null | wc -l; }
threads() { find "/proc/$tessel_pid/task" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }

# The prober: one D-Bus round trip to Tessel every 100 ms; the longest (ms) goes to a file.
start_prober() {
  echo 0 >"$work/stall"
  (
    longest=0
    while kill -0 "$tessel_pid" 2>/dev/null; do
      t0=$(date +%s%N)
      dbus-send --session --print-reply --reply-timeout=5000 --dest=org.tessel.Tessel \
        /org/tessel/Tessel org.tessel.Tessel1.ListDevices >/dev/null 2>&1 || true
      ms=$((($(date +%s%N) - t0) / 1000000))
      if [ "$ms" -gt "$longest" ]; then longest=$ms; echo "$longest" >"$work/stall"; fi
      sleep 0.1
    done
  ) &
  prober_pid=$!
}
stop_prober() { kill "$prober_pid" 2>/dev/null || true; wait "$prober_pid" 2>/dev/null || true; prober_pid=""; }

ops=0
op() { sim "$@"; ops=$((ops + 1)); }
wait_listed() {  # until tesselctl lists N devices (bounded)
  for _ in $(seq 100); do
    [ "$("$bin/tesselctl" devices 2>/dev/null | tail -n +2 | grep -c .)" -ge "$1" ] && return 0
    sleep 0.05
  done
  fail "Tessel did not come back to $1 devices"
}
cycle() {
  case ${only:-$(($1 % 5))} in
    0) for d in keyboard pad headset; do op unplug "$d"; done
       op unplug mouse --route receiver
       for d in keyboard pad headset; do op plug "$d"; done
       op plug mouse --route receiver
       wait_listed 4 ;;
    1) op plug keyboard --route receiver; op unplug keyboard --route cable
       op plug keyboard --route cable; op unplug keyboard --route receiver
       op plug mouse --route cable; op unplug mouse --route receiver
       op plug mouse --route receiver; op unplug mouse --route cable
       wait_listed 4 ;;
    2) op power mouse off; op power mouse on; wait_listed 4 ;;
    3) op fault pad drop-reply; op fault keyboard late-reply 300
       op fault headset bad-echo; op event pad 0x401; op event keyboard 0x401
       op event headset 0x401; op fault mouse unplug-mid-transfer
       op event mouse 0x401; sleep 0.3
       op fault pad clear; op fault keyboard clear; op fault headset clear; op fault mouse clear
       op unplug mouse --route receiver; op plug mouse --route receiver
       wait_listed 4 ;;
    4) op profile keyboard $(($1 % 8)); op profile mouse $(($1 % 5)); op profile pad $(($1 % 4)) ;;
  esac
  alive
}
report() {
  printf '%6s %8s %9s %6s %7s %10s\n' "$1" "$ops" "$(rss_kb)" "$(open_files)" "$(threads)" "$(cat "$work/stall")"
}

"$bin/tessel-devsim" serve --dir "$work/sim" --plug keyboard:cable --plug mouse:receiver \
  --plug pad --plug headset >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -S "$work/sim/control" ] && break; sleep 0.1; done
[ -S "$work/sim/control" ] || fail "the simulator did not start"
start_tessel
started=$(now_ms)

# Warm-up: the first rounds fill caches and pools that are then reused.
for c in $(seq 1 "$warmup"); do cycle "$c"; done
sleep 1
rss0=$(rss_kb) fds0=$(open_files) threads0=$(threads)
start_prober
printf '%6s %8s %9s %6s %7s %10s\n' cycle ops rss_kb files threads longest_ms
report warm
for c in $(seq 1 "$cycles"); do
  cycle "$c"
  [ $((c % report_every)) -eq 0 ] && report "$c"
done
# Settle: the last cycle's devices finish attaching before the final figures.
wait_listed 4
sleep 1
stop_prober
rss1=$(rss_kb) fds1=$(open_files) threads1=$(threads) stall=$(cat "$work/stall")
report end
echo "cycles $cycles, operations $ops, $(((($(now_ms) - started)) / 1000)) s"
echo "rss growth $((rss1 - rss0)) KB (bound $max_rss_growth_kb), files $fds0 -> $fds1, threads $threads0 -> $threads1, longest round trip $stall ms (bound $max_stall_ms)"

status=0
[ $((rss1 - rss0)) -le "$max_rss_growth_kb" ] || { echo "soak: FAIL: RSS grew $((rss1 - rss0)) KB" >&2; status=1; }
[ "$fds1" -le "$fds0" ] || { echo "soak: FAIL: open files grew $fds0 -> $fds1" >&2; status=1; }
[ "$threads1" -le "$threads0" ] || { echo "soak: FAIL: threads grew $threads0 -> $threads1" >&2; status=1; }
[ "$stall" -le "$max_stall_ms" ] || { echo "soak: FAIL: a round trip took $stall ms" >&2; status=1; }

# Killed mid-save: profile switches write the profile and its selection; -9 lands among them.
for k in $(seq 1 "$kills"); do
  op profile keyboard $((k % 8)); op profile mouse $((k % 5)); op profile pad $((k % 4))
  sleep "0.0$((RANDOM % 10))"
  kill -9 "$tessel_pid"; wait "$tessel_pid" 2>/dev/null || true
  while IFS= read -r -d '' f; do
    python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding="utf-8", errors="replace"))' "$f" 2>/dev/null ||
      { echo "soak: FAIL: kill -9 during a save left $f damaged" >&2; status=1; }
  done < <(find "$work/data" -name '*.json' -size +0 -print0)
  start_tessel
done
[ "$kills" -gt 0 ] && echo "kill -9 during saves: $kills, Tessel restarted and every JSON file parses"
[ "$status" -eq 0 ] && echo "soak: OK"
exit "$status"
