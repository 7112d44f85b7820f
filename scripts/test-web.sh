#!/usr/bin/env bash
# The web page in a real browser: builds build-web/ (scripts/web-demo.sh --build-only), then drives
# Debian's headless Chromium (SwiftShader WebGL) through chromedriver against a local server and
# compares each drawing effect's ?at= picture with kandu-player's still (tests/web/compare.py), then
# drives the editor (tests/web/editor_test.py, tests/web/lanes_test.py, tests/web/tempo_test.py) and
# the studio with its native window (tests/web/studio_test.py).
# Needs the native build in build/. Skips with one line where Emscripten or Chromium cannot be
# installed on this machine.
set -uo pipefail
cd "$(dirname "$0")/.."

skip() { echo "== web: skipped: $*"; exit 0; }

source scripts/apt.sh
if ! command -v emcc >/dev/null || ! command -v chromedriver >/dev/null || [ ! -d /usr/share/nodejs/acorn ]; then
  apt_update
  apt_try_install emscripten node-acorn chromium chromium-driver imagemagick ||
    skip "cannot install Emscripten or Chromium: the package(s) ${apt_failed[*]} did not install"
fi
command -v emcc >/dev/null || skip "no emcc after installing emscripten"
command -v chromedriver >/dev/null || skip "no chromedriver after installing chromium-driver"
# Whether this machine can run the browser at all (some sandboxes cannot).
probe=$(timeout 60 chromium --headless=new --no-sandbox --disable-dev-shm-usage --dump-dom about:blank 2>&1) ||
  skip "Chromium does not run here: $(printf '%s' "$probe" | tail -n 1)"

set -e
scripts/web-demo.sh --build-only
gz() { local total=0; for f in "$@"; do total=$((total + $(gzip -9c "build-web/$f" | wc -c))); done; echo "$total"; }
player=(kandu.wasm kandu.js index.html player.js stage.js module.js)
size=$(gz "${player[@]}")
editor=$(gz editor.html editor.css $(cd build-web && echo editor/*.js))
editor_module=$(gz kandu-editor.wasm kandu-editor.js)
echo "== web: the player page gzipped: $size bytes (${player[*]}); the editor's own files $editor bytes (editor.html, editor.css, editor/*.js), its module $editor_module bytes (kandu-editor.wasm, kandu-editor.js)"
if [ "$size" -gt $((130 * 1024)) ] || [ "$editor" -gt $((150 * 1024)) ]; then
  echo "FAIL web: the player page over 130 KB or the editor's own files over 150 KB gzipped"
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
python3 tests/web/compare.py build-web build/kandu-player build/libkandu.so "$out"
echo "== web: the page reads what kandu-player reads (tests/web/reading_test.py)"
python3 tests/web/reading_test.py build-web build/kandu-player build/libkandu.so
echo "== web: the editor (tests/web/editor_test.py)"
python3 tests/web/editor_test.py build-web build/kandu-player build/libkandu.so "$out/editor"
echo "== web: tempo in the editor: an empty start, a song's tempo, taps, ×2, ÷2, the first beat (tests/web/tempo_test.py)"
python3 tests/web/tempo_test.py build-web build/kandu-player "$out/tempo"
echo "== web: marks in the editor against kandu-player check (tests/web/marks_test.py)"
python3 tests/web/marks_test.py build-web build/kandu-player "$out/marks"
echo "== web: a demo exported as one file, opened from file:// offline (tests/web/export_test.py)"
python3 tests/web/export_test.py build-web build/kandu-player build/libkandu.so "$out/export"
echo "== web: the same from a kandu installed into a temporary prefix, given neither --page nor --plugin"
cmake --install build --prefix "$out/prefix" >/dev/null
python3 tests/web/export_test.py - "$out/prefix/bin/kandu-player" - "$out/export-installed"
# Firefox: Debian's ESR driven over WebDriver BiDi by puppeteer-core (npm, the version in
# tests/web/firefox/package-lock.json), under Xvfb (headless Firefox opens no WebGL context here).
firefox_skip=""
if ! command -v firefox-esr >/dev/null && ! apt_try_install firefox-esr >/dev/null 2>&1; then
  firefox_skip="firefox-esr cannot be installed (${apt_failed[*]})"
elif ! command -v xvfb-run >/dev/null; then
  firefox_skip="no xvfb-run"
elif ! (cd tests/web/firefox && npm ci --no-audit --no-fund >"$out/npm.log" 2>&1); then
  firefox_skip="puppeteer-core cannot be installed from npm ($(tail -n 1 "$out/npm.log"))"
fi
if [ -n "$firefox_skip" ]; then
  echo "== web: Firefox: skipped: $firefox_skip"
else
  echo "== web: Firefox: the player page, an export from file:// and the editor through the studio (tests/web/firefox/firefox_test.mjs)"
  xvfb-run -a -s "-screen 0 1280x1024x24" node tests/web/firefox/firefox_test.mjs build-web build/kandu-player build/libkandu.so "$out/firefox"
fi
echo "== web: the studio, kandu-player edit, with its window on Xvfb (tests/web/studio_test.py)"
python3 tests/web/studio_test.py build-web build/kandu-player build/libkandu.so "$out/studio"
echo "== web: the editor with many lanes (tests/web/lanes_test.py)"
python3 tests/web/lanes_test.py build-web build/kandu-player "$out/lanes"
