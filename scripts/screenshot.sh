#!/usr/bin/env bash
# Builds Tessel, runs it offscreen with fresh per-user folders, saves a picture of the main
# window once it is shown and exits. Usage: scripts/screenshot.sh [png] [language id]
# (default: docs/screenshots/main-window.png, English = 1033; 2052 for Simplified Chinese).
# TESSEL_BUILD_DIR=<configured build folder> builds there instead of the default preset.
# TESSEL_SHOT_DEVICES="keyboard:cable mouse:receiver pad headset" plugs those simulated devices
# first (and waits TESSEL_SCREENSHOT_DELAY_MS, default 2500, for them to answer).
# TESSEL_SCREENSHOT_CLICK="device_tab_light,..." clicks those shown buttons before the picture.
# TESSEL_SHOT_PLATFORM=xcb (with DISPLAY set) takes the picture on an X server instead of offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/main-window.png}
language=${2:-1033}

bash scripts/install-deps.sh
if [ -n "${TESSEL_BUILD_DIR:-}" ]; then
  build=$TESSEL_BUILD_DIR
  cmake --build "$build" --target tessel
else
  build=build/default
  cmake --preset default >/dev/null
  cmake --build --preset default --target tessel
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/tessel-shot.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$home"
}
trap cleanup EXIT
if [ -n "${TESSEL_SHOT_DEVICES:-}" ]; then
  cmake --build "${TESSEL_BUILD_DIR:-build/default}" --target tessel-devsim >/dev/null
  mkdir -p "$home/sim"
  "$build/bin/tessel-devsim" serve --dir "$home/sim" >/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -S "$home/sim/control" ] && break; sleep 0.1; done
  for d in $TESSEL_SHOT_DEVICES; do
    "$build/bin/tessel-devsim" --dir "$home/sim" plug "${d%%:*}" $([ "${d#*:}" != "$d" ] && echo --route "${d#*:}") >/dev/null
  done
  export TESSEL_SIM_DIR="$home/sim"
  export TESSEL_SCREENSHOT_DELAY_MS=${TESSEL_SCREENSHOT_DELAY_MS:-2500}
fi
mkdir -p "$home/config/tamrel wireless" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
printf '[General]\nLANGUAGE=%s\n' "$language" > "$home/config/tamrel wireless/settings.ini"
mkdir -p "$(dirname "$out")"

XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
QT_QPA_PLATFORM=${TESSEL_SHOT_PLATFORM:-offscreen} TESSEL_SCREENSHOT="$(realpath -m "$out")" TESSEL_EXIT_AFTER_SCREENSHOT=1 \
  timeout 60 "$build/bin/tessel"
