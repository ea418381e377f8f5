#!/usr/bin/env bash
# What a language costs at start-up: Tessel with the four simulated devices under one Xvfb, once
# per desktop language (LANG; nothing stored, so the locale picks the language). Per language:
# time from start until the window is mapped, PSS 3 s later, and the CJK and Thai font files the
# process has mapped then (and whether any came from the data folder instead of the system).
# Each figure is the median of RUNS runs. Prints figures; asserts nothing.
#
#   scripts/bench-languages.sh [RUNS [TESSEL [DATA_FOLDER]]]
#     RUNS         runs per language (default 5)
#     TESSEL       the executable (default build/default/bin/tessel), e.g. an older build's
#     DATA_FOLDER  its data folder with skin, DefaultData and Font (default: the executable's)
#   BENCH_LANGS="en_US zh_CN th_TH" scripts/bench-languages.sh   (default: en_US zh_CN)
#
# The data folder is laid out as an installed Tessel has it: skin and DefaultData as they are,
# the Font folder's files as real copies (the build tree links them to the system's fonts,
# which hides what a private load of a shipped file costs).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
tessel=$(realpath "${2:-$root/build/default/bin/tessel}")
data=$(realpath "${3:-$(dirname "$tessel")}")
devsim_bin=${TESSEL_DEVSIM:-$root/build/default/bin/tessel-devsim}
read -r -a langs <<< "${BENCH_LANGS:-en_US zh_CN}"

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  exec dbus-run-session -- "$0" "$@"
fi
[ -x "$tessel" ] || { echo "no executable $tessel" >&2; exit 2; }
[ -x "$devsim_bin" ] || cmake --build --preset default --target tessel-devsim
for p in Xvfb xdotool; do command -v "$p" >/dev/null || { echo "needs $p (scripts/install-deps.sh)" >&2; exit 2; }; done

work=$(mktemp -d /tmp/tessel-langbench.XXXXXX)
xvfb_pid="" sim_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

share="$work/share"
mkdir -p "$share/Font"
ln -s "$(realpath "$data/skin")" "$share/skin"
ln -s "$(realpath "$data/DefaultData")" "$share/DefaultData"
[ -d "$data/SDK" ] && ln -s "$(realpath "$data/SDK")" "$share/SDK"
for f in "$data"/Font/*; do [ -e "$f" ] && cp -L "$f" "$share/Font/"; done

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 3>"$work/displayfd" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/displayfd")"

sim_dir="$work/sim"; mkdir "$sim_dir"
"$devsim_bin" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
devsim() { "$devsim_bin" --dir "$sim_dir" "$@" >/dev/null; }
devsim plug keyboard --route cable
devsim plug mouse --route receiver
devsim plug pad
devsim plug headset

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
mem_kb() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
# The CJK and Thai font files mapped, "+" joined; "(data)" marks one loaded from the data folder.
script_fonts() {
  awk '{print $6}' "/proc/$1/maps" 2>/dev/null | grep -E '\.(ttf|otf|ttc)$' | sort -u |
    grep -Ei 'cjk|droid|thai|chinese' |
    sed -e "s|^$share/Font/|(data)|" -e 's|.*/||' | paste -sd+ - || true
}

# measure LANG -> "ms pss_kb fonts"
measure() {
  local t0 t1 win pid pss fonts
  rm -rf "$work/home"; mkdir -p "$work/home/runtime"; chmod 700 "$work/home/runtime"
  t0=$(now_ms)
  env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$1.UTF-8" QT_QPA_PLATFORM=xcb \
    TESSEL_SIM_DIR="$sim_dir" TESSEL_DATA_DIR="$share" \
    XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" XDG_RUNTIME_DIR="$work/home/runtime" \
    "$tessel" >/dev/null 2>&1 &
  app_pid=$!
  win=""
  for _ in $(seq 3000); do
    win=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -n1) || true
    [ -n "$win" ] && break
    sleep 0.01
  done
  t1=$(now_ms)
  pid=$app_pid
  if [ -z "$win" ]; then
    echo "NA NA none"
  else
    sleep 3
    pss=$(mem_kb "$pid" Pss)
    fonts=$(script_fonts "$pid")
    echo "$((t1 - t0)) $pss ${fonts:-none}"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  app_pid=""
  for _ in $(seq 100); do [ -d "/proc/$pid" ] || break; sleep 0.1; done
}

# The median of the runs that showed a window; a run without one (30 s) is counted apart.
median() { grep -v '^NA$' | sort -g | awk '{a[NR]=$1} END{ if (NR==0) print "NA"; else print a[int((NR+1)/2)] }'; }

echo "Tessel: $tessel"
echo "data:   $data (fonts copied as installed)"
printf '%-8s %10s %10s %6s  %s\n' language "start ms" "PSS KB" "no win" "CJK/Thai font files mapped"
for lang in "${langs[@]}"; do
  : > "$work/$lang.txt"
  for _ in $(seq "$runs"); do measure "$lang" >> "$work/$lang.txt"; done
  ms=$(awk '{print $1}' "$work/$lang.txt" | median)
  pss=$(awk '{print $2}' "$work/$lang.txt" | median)
  fonts=$(awk '$1 != "NA" {print $3}' "$work/$lang.txt" | sort | uniq -c | sort -rn | head -n1 | awk '{print $2}')
  nowin=$(grep -c '^NA' "$work/$lang.txt" || true)
  printf '%-8s %10s %10s %6s  %s\n' "$lang" "$ms" "$pss" "$nowin" "${fonts:-NA}"
done
