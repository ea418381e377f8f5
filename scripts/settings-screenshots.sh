#!/usr/bin/env bash
# Pictures of the settings window (checking, updates found, nothing newer, no server) and of the
# about window, in English and Simplified Chinese, taken on an Xvfb X server against a loopback
# update server. Usage: scripts/settings-screenshots.sh [folder, default docs/screenshots/settings]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/settings}
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tessel_settings_shots
mkdir -p "$out"
QT_QPA_PLATFORM=xcb dbus-run-session -- xvfb-run -a -s "-screen 0 1400x900x24" \
  build/default/bin/tessel_settings_shots "$out"
