#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds kandu with its tests and runs them all.
#   scripts/test.sh              the plain build (build/)
#   scripts/test.sh --sanitize   the AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
# The plain run also builds kandu.dll and proves it under Wine (scripts/test-windows.sh), builds the
# web page and compares it with the player in headless Chromium (scripts/test-web.sh), makes the
# Debian package and the Windows zip and tries them (scripts/test-package.sh), and runs the
# libFuzzer targets briefly (scripts/fuzz.sh). The web pages are built first where Emscripten can
# be had, so that the install tests find them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

dir=build
flags=(-DCMAKE_BUILD_TYPE=Release -DKANDU_TESTS=ON -DKANDU_BENCH=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DKANDU_SANITIZE=ON -DKANDU_TESTS=ON -DKANDU_BENCH=OFF)
fi
mkdir -p out
scripts/web-demo.sh --build-only >out/web-build.log 2>&1 ||
  echo "== the web pages are not built here, so the install tests skip export and edit: $(tail -n 1 out/web-build.log)"
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
# The tempo set of real songs, built once into ~/.cache/kandu (about 4 minutes) for Tempo.RealSongs;
# where it cannot be built, one line says why and that test is skipped.
python3 bench/tempo_set.py --build-only || true
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"

if [ "$dir" = build ]; then
  scripts/test-windows.sh
  scripts/test-web.sh
  scripts/test-package.sh
  scripts/fuzz.sh
fi
