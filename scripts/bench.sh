#!/usr/bin/env bash
# Builds the benchmark targets of the default preset and runs them, printing their figures.
# Usage: scripts/bench.sh [extra Google Benchmark arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tessel_bench_transport tessel tessel-devsim tessel_app_bare_window

# Each benchmark prints its own figures (ratios to the simulated bus limit among them).
build/default/bin/tessel_bench_transport "$@"

# Hot-plug latency and idle CPU of the application against the simulator process.
python3 tests/bench/hotplug_bench.py build/default/bin
