#!/usr/bin/env bash
# Pictures of the keyboard and the mouse page in several languages, on an X server (Xvfb), so
# that the fonts are the ones a desktop session draws with. A language whose file is missing is
# left out with a note.
# Usage: scripts/language-screenshots.sh [out folder] [language ids...]
#   (default docs/screenshots/languages; German 1031, Japanese 1041, Russian 1049, Thai 1054)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots/languages}
shift || true
ids=("$@")
[ ${#ids[@]} -gt 0 ] || ids=(1031 1041 1049 1054)
build=${TESSEL_BUILD_DIR:-build/default}
cmake --build "$build" --target tessel tessel-devsim >/dev/null
mkdir -p "$out"

xvfb_pid=""
displayfd=$(mktemp)
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -f "$displayfd"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 3>"$displayfd" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$displayfd" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$displayfd")"
fi

# The language's name and file for an id, from the shipped list.
entry() {
  python3 -c 'import json,sys
for e in json.load(open("data/Language.config"))["Language"]:
    if e["Language_ID"] == int(sys.argv[1]): print(e["Language_name"], e["Language_file"])' "$1"
}

for id in "${ids[@]}"; do
  read -r name file <<< "$(entry "$id")"
  if [ -z "${file:-}" ] || [ ! -f "skin/$file" ]; then
    echo "language $id: no language file, left out"
    continue
  fi
  for device in keyboard:cable mouse:receiver; do
    kind=${device%%:*}
    home=$(mktemp -d "${TMPDIR:-/tmp}/tessel-langshot.XXXXXX")
    mkdir -p "$home/sim" "$home/config/tamrel wireless" "$home/data" "$home/runtime"
    chmod 700 "$home/runtime"
    printf '[General]\nLANGUAGE=%s\n' "$id" > "$home/config/tamrel wireless/settings.ini"
    "$build/bin/tessel-devsim" serve --dir "$home/sim" >/dev/null &
    sim_pid=$!
    for _ in $(seq 50); do [ -S "$home/sim/control" ] && break; sleep 0.1; done
    "$build/bin/tessel-devsim" --dir "$home/sim" plug "$kind" --route "${device#*:}" >/dev/null
    dbus-run-session -- env XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
      XDG_RUNTIME_DIR="$home/runtime" TESSEL_SIM_DIR="$home/sim" \
      TESSEL_SCREENSHOT_DELAY_MS=${TESSEL_SCREENSHOT_DELAY_MS:-3000} QT_QPA_PLATFORM=xcb \
      TESSEL_SCREENSHOT="$(realpath -m "$out/$kind-$name.png")" TESSEL_EXIT_AFTER_SCREENSHOT=1 \
      timeout 60 "$build/bin/tessel" >/dev/null 2>&1 || true
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -rf "$home"
    echo "$out/$kind-$name.png"
  done
done
