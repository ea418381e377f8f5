#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tessel needs.
# Idempotent: when everything is present it installs nothing and asks no registry.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang lld libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-svg-dev
  qt6-l10n-tools libqt6opengl6-dev libgl-dev
  libjsoncpp-dev libudev-dev libcurl4-openssl-dev libproxy-dev tinyproxy
  libpulse-dev libfftw3-dev pulseaudio pulseaudio-utils libxi-dev libx11-dev libxtst-dev libasound2-dev
  pipewire pipewire-bin pipewire-pulse wireplumber libpipewire-0.3-dev rubberband-ladspa sox
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool dbus dbus-x11 libglib2.0-bin imagemagick
  at-spi2-core python3-pyatspi qt6-xdgdesktopportal-platformtheme
  fonts-dejavu-core fonts-noto-cjk fonts-liberation2
  fonts-noto-core fonts-droid-fallback fonts-jura
  nodejs
  desktop-file-utils appstream umockdev libumockdev-dev
  debhelper dpkg-dev lintian
)
# npm runs the SDK server's test client (openrgb-sdk, installed by the test itself). A nodejs
# that brings its own npm (as other builds of it do) needs and tolerates no Debian npm.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
