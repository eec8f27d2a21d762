#!/usr/bin/env bash
# Installs the Debian packages Halvex needs to build, run and test. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsdl1.2-compat-dev libgl-dev libglu1-mesa-dev libfreetype-dev libsigc++-2.0-dev
  liblua5.1-0-dev
  libgtest-dev libx11-dev xvfb xauth xdotool imagemagick
  fonts-dejavu-core openarena-081-maps
)
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
