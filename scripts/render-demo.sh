#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds kandu and renders the default demo headless into out/:
# out/kandu.mp4 and the contact sheet out/sheet.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target kandu-player
build/kandu-player render "$@"
build/kandu-player sheet --out out/sheet.png
