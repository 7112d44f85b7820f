#!/usr/bin/env bash
# The intro in a web browser: installs what is missing (Emscripten), builds the page into
# build-web/ (index.html at its root) and serves it on 127.0.0.1, printing the address.
#   scripts/web-demo.sh [--build-only] [--port N]
set -euo pipefail
cd "$(dirname "$0")/.."

build_only=0
port=8080
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) build_only=1 ;;
    --port) port="$2"; shift ;;
    *) echo "usage: scripts/web-demo.sh [--build-only] [--port N]" >&2; exit 2 ;;
  esac
  shift
done

if ! command -v emcc >/dev/null || [ ! -d /usr/share/nodejs/acorn ]; then
  source scripts/apt.sh
  apt_update
  apt_require emscripten node-acorn cmake python3 >/dev/null
fi
# Debian's Emscripten finds its JavaScript tools (acorn) among Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web -j"$(nproc)"
echo "built build-web/index.html (kandu.js + kandu.wasm)"
[ "$build_only" -eq 1 ] && exit 0

echo "kandu in the browser: http://127.0.0.1:$port/   (?at=MS for a still, ?timeline=URL for another timeline; Ctrl-C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web
