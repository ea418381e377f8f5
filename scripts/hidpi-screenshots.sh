#!/usr/bin/env bash
# Pictures of every device page and feature tab at 144 DPI: an Xvfb screen of 1920 x 1080 (the
# size the window is laid out at 1.5x on), each device alone on the simulator, each of its tabs
# clicked. Usage: scripts/hidpi-screenshots.sh [folder] [language id]
# (default docs/screenshots/hidpi, English = 1033). Needs a built tessel and tessel-devsim.
# TESSEL_SHOT_SCREEN="1280x800" TESSEL_SHOT_DPI=96 take them on another screen (96 DPI below
# 1500 x 960); TESSEL_SHOT_WITH="mouse:receiver pad" plugs those devices too, so that a page
# shows what it has beside others (such as "same lighting"); the page shown is then the one
# Tessel chooses, that of the device that answered last, not always the one named.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/hidpi}
language=${2:-1033}
build=${TESSEL_BUILD_DIR:-build/default}
mkdir -p "$out"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 "${TESSEL_SHOT_SCREEN:-1920x1080}x24" -dpi "${TESSEL_SHOT_DPI:-144}" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wait $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

shot() {  # device, png, tabs to click
  # The others first, so that the named device is the last to be plugged.
  local devices=""
  for d in ${TESSEL_SHOT_WITH:-}; do [ "${d%%:*}" = "${1%%:*}" ] || devices+="$d "; done
  DISPLAY=$display TESSEL_BUILD_DIR=$build TESSEL_SHOT_PLATFORM=xcb TESSEL_SHOT_DEVICES="$devices$1" \
    TESSEL_SCREENSHOT_CLICK=$3 TESSEL_SCREENSHOT_DELAY_MS=3000 \
    dbus-run-session -- bash scripts/screenshot.sh "$out/$2" "$language" >/dev/null
}
shot keyboard:cable keyboard-light.png device_tab_light
shot keyboard:cable keyboard-keys.png device_tab_keys
shot keyboard:cable keyboard-key-panel.png device_tab_keys,key_30
shot keyboard:cable keyboard-macro.png device_tab_macro
shot keyboard:cable keyboard-system.png device_tab_system
shot keyboard:cable keyboard-profile.png device_tab_profile
shot mouse:receiver mouse-cursor.png device_tab_cursor
shot mouse:receiver mouse-light.png device_tab_light
shot mouse:receiver mouse-keys.png device_tab_keys,key_0
shot mouse:receiver mouse-macro.png device_tab_macro
shot mouse:receiver mouse-shoot.png device_tab_shoot
shot mouse:receiver mouse-profile.png device_tab_profile
shot pad pad-light.png device_tab_light
shot pad pad-profile.png device_tab_profile
shot headset headset-light.png device_tab_light
shot headset headset-sound.png device_tab_sound
shot headset headset-magic.png device_tab_magic
shot headset headset-profile.png device_tab_profile
echo "Pictures in $out"
