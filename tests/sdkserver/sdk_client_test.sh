#!/usr/bin/env bash
# A lighting tool written by others (the npm package openrgb-sdk) against Tessel running on the
# four simulated devices with its SDK server on. The package is installed into a temporary
# folder; without node, npm or the registry the test is skipped (exit 77) and says why.
# Usage: sdk_client_test.sh BIN_DIR   (tessel and tessel-devsim)
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIPPED: $*"; exit 77; }
command -v node >/dev/null || skip "node is not installed (scripts/install-deps.sh installs nodejs)"
command -v npm >/dev/null || skip "npm is not installed (scripts/install-deps.sh installs npm)"

work=$(mktemp -d)
tessel_pid=""
bus_pid=""
cleanup() {
  [ -n "$tessel_pid" ] && kill "$tessel_pid" 2>/dev/null && wait "$tessel_pid" 2>/dev/null || true
  "$bin/tessel-devsim" --dir "$work/sim" shutdown >/dev/null 2>&1 || true
  [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if ! timeout 180 npm install --silent --no-audit --no-fund --prefix "$work/npm" openrgb-sdk >"$work/npm.log" 2>&1; then
  tail -5 "$work/npm.log"
  skip "npm could not install openrgb-sdk (is the registry reachable?)"
fi

mkdir -p "$work/sim" "$work/data" "$work/config" "$work/run"
chmod 700 "$work/run"
"$bin/tessel-devsim" serve --dir "$work/sim" >"$work/sim.log" 2>&1 &
for _ in $(seq 100); do [ -S "$work/sim/control" ] && break; sleep 0.1; done
for d in "keyboard --route cable" "mouse --route cable" pad headset; do
  # shellcheck disable=SC2086
  "$bin/tessel-devsim" --dir "$work/sim" plug $d >/dev/null
done

# Tessel owns its name on a bus of its own, so the check can call SetLightingControl on it.
command -v gdbus >/dev/null || skip "gdbus is not installed (libglib2.0-bin)"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed"
eval "$(dbus-launch --sh-syntax 2>/dev/null)" || skip "no D-Bus session bus could be started"
bus_pid=${DBUS_SESSION_BUS_PID:-}

TESSEL_SIM_DIR="$work/sim" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  "$bin/tessel" --sdk-server=0 >"$work/tessel.log" 2>&1 &
tessel_pid=$!
port=""
for _ in $(seq 300); do
  port=$(sed -n 's/^SDK server listening on .* port \([0-9]*\)$/\1/p' "$work/tessel.log")
  [ -n "$port" ] && break
  kill -0 "$tessel_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  cat "$work/tessel.log"
  echo "FAIL: Tessel did not start its SDK server"
  exit 1
fi
echo "Tessel's SDK server on port $port"
if ! node "$here/sdk_client_check.js" "$work/npm" "$port" "$bin/tessel-devsim" "$work/sim"; then
  grep -v 'does not support raise' "$work/tessel.log" | tail -20
  exit 1
fi
