#!/bin/sh
# The skin chooser, the palette window and the main window on a chosen background at 96 and 144
# DPI in English and Chinese, drawn on an Xvfb screen, into docs/screenshots/skin.
set -e
cd "$(dirname "$0")/.."
cmake --build --preset default --target tessel_skin_tests
out="$PWD/docs/screenshots/skin"
mkdir -p "$out"
TESSEL_SKIN_SHOTS="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" \
    dbus-run-session -- build/default/bin/tessel_skin_tests --gtest_filter='PaletteTest.Screenshots'
