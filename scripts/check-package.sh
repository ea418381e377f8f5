#!/usr/bin/env bash
# Checks the built Debian package from a fresh root: extracts it into a temporary folder
# (dpkg-deb -x, so nothing is installed on this machine), then from there runs
# `tessel --version`, `tesselctl --help`, `tesselctl doctor` and a start of the packaged Tessel
# under Xvfb on its own D-Bus session with the simulator's keyboard and mouse plugged in, until
# the packaged tesselctl lists them. Prints the package's size, file count and the
# `tessel --version` time.
#   scripts/check-package.sh [tessel_<version>_<arch>.deb]   (default: the newest in out/package)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-$(ls -t "$src"/out/package/tessel_*.deb 2>/dev/null | head -n1)}
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
sim=${TESSEL_DEVSIM:-$src/build/default/bin/tessel-devsim}
[ -x "$sim" ] || { echo "no simulator at $sim: build the default preset first" >&2; exit 1; }

root=$(mktemp -d)
sim_dir=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$root" "$sim_dir"
}
trap cleanup EXIT

dpkg-deb -x "$deb" "$root"
echo "package: $(basename "$deb")"
echo "installed size: $(dpkg-deb -f "$deb" Installed-Size) KiB; files: $(dpkg-deb -c "$deb" | grep -vc '^d')"
bin=$root/usr/bin

# No display, no data folder override: the packaged program answers from its own tree.
clean_env=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TESSEL_DATA_DIR -u TESSEL_SIM_DIR)
version=$("${clean_env[@]}" "$bin/tessel" --version)
echo "tessel --version: $version"
"$bin/tesselctl" --help | head -n1
# --version time: the best of 20 runs, in milliseconds.
best=""
for _ in $(seq 20); do
  t0=$(date +%s%N)
  "${clean_env[@]}" "$bin/tessel" --version >/dev/null
  t=$(( ($(date +%s%N) - t0) / 1000 ))
  if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
printf 'tessel --version time: %d.%03d ms (best of 20; goal < 30 ms)\n' $((best / 1000)) $((best % 1000))
doctor_rc=0
"$bin/tesselctl" doctor || doctor_rc=$?
echo "tesselctl doctor exit status: $doctor_rc"

# A start under Xvfb with the simulator.
"$sim" serve --dir "$sim_dir" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -S "$sim_dir/control" ] && break; sleep 0.1; done
"$sim" --dir "$sim_dir" plug keyboard --route cable >/dev/null
"$sim" --dir "$sim_dir" plug mouse --route receiver >/dev/null

home=$root/home
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
export TESSEL_SIM_DIR=$sim_dir HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
  XDG_RUNTIME_DIR=$home/runtime BIN=$bin
unset QT_QPA_PLATFORM TESSEL_DATA_DIR
xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- bash -c '
  "$BIN/tessel" >"$HOME/tessel.log" 2>&1 &
  pid=$!
  listed=""
  for _ in $(seq 300); do
    listed=$("$BIN/tesselctl" devices 2>/dev/null || true)
    if grep -qi keyboard <<<"$listed" && grep -qi mouse <<<"$listed"; then break; fi
    sleep 0.1
  done
  echo "$listed"
  kill -TERM "$pid"
  rc=0
  wait "$pid" || rc=$?
  echo "tessel exit status: $rc"
  grep -qi keyboard <<<"$listed" && grep -qi mouse <<<"$listed" && [ "$rc" -eq 0 ]
' || { echo "FAILED: the packaged Tessel did not show the simulated devices or did not end with 0"; cat "$home/tessel.log"; exit 1; }
echo "package check passed"
