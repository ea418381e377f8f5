#!/usr/bin/env bash
# Installs what is missing, builds Tessel and runs the whole test suite (ctest).
# Usage: scripts/test.sh [preset]   (default: "default"; also debug, asan, tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

# GUI tests run offscreen; tests of the D-Bus interface need a session bus of their own.
export QT_QPA_PLATFORM=offscreen
exec dbus-run-session -- ctest --preset "$preset" -j"$(nproc)"
