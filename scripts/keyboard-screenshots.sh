#!/usr/bin/env bash
# Pictures of the keyboard page in three lighting modes, against the simulated keyboard: the
# keyboard's own settings are set first (as its lighting keys would), Tessel reads them at
# connection and its picture lights the keys accordingly.
# Usage: scripts/keyboard-screenshots.sh [out folder] (default docs/screenshots/keyboard)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/keyboard}
build=${TESSEL_BUILD_DIR:-build/default}
cmake --build "$build" --target tessel tessel-devsim >/dev/null
mkdir -p "$out"

# name, then the settings bytes from offset 1: mode, brightness, 4 - speed, direction, colourful,
# red, green, blue
shots=(
  "wave 01 04 02 01 01 00 00 00"
  "static 06 04 02 00 00 2d e2 e6"
  "diagonals 12 04 02 01 01 00 00 00"
)
for shot in "${shots[@]}"; do
  set -- $shot
  name=$1; shift
  home=$(mktemp -d "${TMPDIR:-/tmp}/tessel-kbshot.XXXXXX")
  mkdir -p "$home/sim" "$home/config/tamrel wireless" "$home/data" "$home/runtime"
  chmod 700 "$home/runtime"
  printf '[General]\nLANGUAGE=1033\n' > "$home/config/tamrel wireless/settings.ini"
  "$build/bin/tessel-devsim" serve --dir "$home/sim" >/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -S "$home/sim/control" ] && break; sleep 0.1; done
  "$build/bin/tessel-devsim" --dir "$home/sim" plug keyboard --route cable >/dev/null
  "$build/bin/tessel-devsim" --dir "$home/sim" poke keyboard settings 1 "$(echo "$@" | tr -d ' ')" >/dev/null
  XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
  TESSEL_SIM_DIR="$home/sim" TESSEL_SCREENSHOT_DELAY_MS=${TESSEL_SCREENSHOT_DELAY_MS:-3000} \
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} TESSEL_SCREENSHOT="$(realpath -m "$out/$name.png")" \
  TESSEL_EXIT_AFTER_SCREENSHOT=1 timeout 60 "$build/bin/tessel" || true
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$home"
  echo "$out/$name.png"
done
