#!/usr/bin/env bash
# Installs the Debian packages kandu needs to build, render and test (only those missing).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libegl-dev libgl-dev libgles-dev libglu1-mesa-dev libegl-mesa0 libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libpng-dev libglfw3-dev ffmpeg libyuv-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libsdl2-dev
  libgtest-dev libbenchmark-dev clang libclang-rt-dev
  xvfb xauth xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
