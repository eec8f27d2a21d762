#!/usr/bin/env bash
# Installs the Debian packages Halvex needs. Safe to run again.
#   scripts/setup.sh          what the game needs to build and run
#   scripts/setup.sh --tests  that, plus the test tools and the test data
#                             (the OpenArena and Nexuiz game data)
#   scripts/setup.sh --peer   that, plus Debian's OpenArena engine for the
#                             side-by-side benchmark (bench/peer/run.sh)
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsdl1.2-compat-dev libgl-dev libglu1-mesa-dev libfreetype-dev libsigc++-2.0-dev
  liblua5.1-0-dev libzip-dev libjpeg-dev libpng-dev
  fonts-dejavu-core
  # scripts/run.sh without a display: a private X server, keys and a screenshot
  xvfb xauth xdotool imagemagick
)
mode=${1:-}
if [ "$mode" = "--tests" ] || [ "$mode" = "--peer" ]; then
  packages+=(
    libgtest-dev libx11-dev
    # real levels, their textures and shader scripts (openarena-data holds
    # the base archive with most of the scripts); levels for the compiler
    openarena-081-maps openarena-081-textures openarena-081-misc openarena-085-data
    openarena-data nexuiz-data
  )
fi
if [ "$mode" = "--peer" ]; then
  # the other engine, run only through its command line and console
  # xrandr shows the gamma ramp the engine sets on the display
  packages+=(openarena x11-xserver-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
