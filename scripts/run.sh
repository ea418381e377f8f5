#!/usr/bin/env bash
# Installs what is missing, builds Tessel, starts the device simulator with a keyboard (cable),
# a mouse (receiver), a mouse pad and a headset, and opens Tessel on them. The simulator stops
# when Tessel ends. Without a display Tessel runs offscreen, saves a screenshot and says where.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
bin=build/default/bin

sim_dir=$(mktemp -d "${TMPDIR:-/tmp}/tessel-sim.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$sim_dir"
}
trap cleanup EXIT

if [ -x "$bin/tessel-devsim" ]; then
  "$bin/tessel-devsim" serve --dir "$sim_dir" &
  sim_pid=$!
  for _ in $(seq 50); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
  "$bin/tessel-devsim" --dir "$sim_dir" plug keyboard --route cable >/dev/null
  "$bin/tessel-devsim" --dir "$sim_dir" plug mouse --route receiver >/dev/null
  "$bin/tessel-devsim" --dir "$sim_dir" plug pad >/dev/null
  "$bin/tessel-devsim" --dir "$sim_dir" plug headset >/dev/null
  export TESSEL_SIM_DIR="$sim_dir"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  shot=${TESSEL_SCREENSHOT:-$PWD/build/tessel-window.png}
  echo "No display: running offscreen; the window's screenshot goes to $shot"
  QT_QPA_PLATFORM=offscreen TESSEL_SCREENSHOT="$shot" "$bin/tessel" "$@"
else
  "$bin/tessel" "$@"
fi
