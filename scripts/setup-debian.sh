#!/usr/bin/env bash
# Installs the Debian packages kandu needs to build, render and test (only those missing). A package
# index that cannot be refreshed is said in one line and the machine's own is used; a needed package
# that cannot be installed ends it with status 1 and its name.
set -euo pipefail
source "$(dirname "$0")/apt.sh"

packages=(
  build-essential cmake pkg-config git
  libegl-dev libgl-dev libgles-dev libglu1-mesa-dev libegl-mesa0 libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libpng-dev libglfw3-dev ffmpeg libyuv-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libsdl2-dev nodejs libcpp-httplib-dev nlohmann-json3-dev zlib1g-dev
  libgtest-dev libbenchmark-dev clang libclang-rt-dev
  xvfb xauth xdotool imagemagick help2man parallel strace
)

mapfile -t missing < <(apt_missing "${packages[@]}")
[ ${#missing[@]} -eq 0 ] && exit 0
apt_update
apt_require "${missing[@]}"
