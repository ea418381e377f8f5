#!/usr/bin/env bash
# Pictures of the panels that carry the music mode's row (live spectrum and audio styles
# button), the macro editor while it records (the blinking stop button) and the headset's
# custom preset row, at 96 and 144 DPI, in English and Simplified Chinese, on an Xvfb screen.
# Usage: scripts/music-screenshots.sh [folder] (default docs/screenshots/controls).
# Needs a built tessel and tessel-devsim (TESSEL_BUILD_DIR, default build/default).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/controls}
build=${TESSEL_BUILD_DIR:-build/default}
mkdir -p "$out"

for dpi in 96 144; do
  screen=1280x800
  [ "$dpi" = 144 ] && screen=1920x1080
  for lang in 1033:en 2052:cn; do
    TESSEL_SHOT_SCREEN=$screen TESSEL_SHOT_DPI=$dpi bash -c '
      set -euo pipefail
      display=:$((90 + RANDOM % 100))
      Xvfb "$display" -screen 0 "${TESSEL_SHOT_SCREEN}x24" -dpi "$TESSEL_SHOT_DPI" -nolisten tcp >/dev/null 2>&1 &
      xvfb=$!
      trap "kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true" EXIT
      for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
      shot() {  # device, png, clicks
        DISPLAY=$display TESSEL_BUILD_DIR=$0 TESSEL_SHOT_PLATFORM=xcb TESSEL_SHOT_DEVICES="$1" \
          TESSEL_SCREENSHOT_CLICK=$3 TESSEL_SCREENSHOT_DELAY_MS=3000 \
          dbus-run-session -- bash scripts/screenshot.sh "$2" "$4" >/dev/null
      }
      shot keyboard:cable "$1/keyboard-music-$2-$3.png" device_tab_light,light_combo_modeSelect=29 "$4"
      shot keyboard:cable "$1/keyboard-macro-recording-$2-$3.png" device_tab_macro,macro_btn_name_add,macro_btn_starredio "$4"
      shot headset "$1/headset-sound-$2-$3.png" device_tab_sound "$4"
    ' "$build" "$out" "${lang#*:}" "$dpi" "${lang%%:*}"
  done
done
