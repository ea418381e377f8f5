#!/usr/bin/env bash
# Builds the benchmark targets of the default preset and runs them, printing their figures.
# Usage: scripts/bench.sh [extra Google Benchmark arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tessel_bench_transport tessel_bench_fault_stall tessel_bench_dbus_calls tessel tessel-devsim \
  tessel_app_bare_window tessel_bench_host_effects

# Each benchmark prints its own figures (ratios to the simulated bus limit among them).
build/default/bin/tessel_bench_transport "$@"

# How long the window waits while each device misbehaves (every fault kind of the simulator on
# each device in turn): the longest ListDevices round trip is the longest event-loop stall.
dbus-run-session -- build/default/bin/tessel_bench_fault_stall --seconds 3

# The per-device D-Bus calls: a read's round trip, a DPI write until it is in the mouse's memory.
dbus-run-session -- build/default/bin/tessel_bench_dbus_calls

# Hot-plug latency and idle CPU of the application against the simulator process. On an X
# display (Xvfb when there is none) so the idle figure is taken with the window hidden.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; then
  xvfb-run -a -s '-screen 0 1920x1080x24' python3 tests/bench/hotplug_bench.py build/default/bin
else
  python3 tests/bench/hotplug_bench.py build/default/bin
fi

# The SDK server: Direct-mode latency from a client's update to the keyboard's frame, Tessel's
# CPU while a client streams at 60 fps, and 10 clients x 1000 connections while it streams.
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} dbus-run-session -- \
  python3 tests/bench/sdk_server_bench.py --bin build/default/bin

# The headset equaliser's PipeWire graph in a private session: the latency it adds, its CPU with
# ten bands on a stereo stream, and the time from a slider change to the change heard.
dbus-run-session -- build/default/bin/tessel_bench_host_effects
