#!/usr/bin/env bash
# Makes what we ship, in out/ (or --out DIR):
#   kandu_VERSION_amd64.deb   the player, the plug-in, the web pages, the manual (cpack, DEB; its
#                             dependencies from what the binaries link, by dpkg-shlibdeps)
#   kandu-windows.zip         kandu.dll for 32-bit and 64-bit Windows hosts, the licence, and how a
#                             host calls the six exports
# Builds what is missing: the player in build/ (as scripts/test.sh leaves it, or a Release build
# without tests), the web pages in build-web/ with Emscripten, the DLLs in build-win/ and
# build-win64/ with mingw-w64. Where a part cannot be made here, one line says so and the rest is
# made; the exit status is 1 only when nothing could be packaged.
#   scripts/package.sh [--out DIR] [--no-windows]
set -euo pipefail
cd "$(dirname "$0")/.."
out=out
windows=1
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$2"; shift ;;
    --no-windows) windows=0 ;;
    *) echo "usage: scripts/package.sh [--out DIR] [--no-windows]" >&2; exit 2 ;;
  esac
  shift
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
made=0

scripts/setup-debian.sh
source scripts/apt.sh

# The pages first: the package installs those the web build holds.
if ! scripts/web-demo.sh --build-only >"$out/web-build.log" 2>&1; then
  echo "== package: no web pages in it: the web build failed or Emscripten cannot be installed ($(tail -n 1 "$out/web-build.log"))"
fi

[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKANDU_TESTS=OFF -DKANDU_BENCH=OFF >/dev/null
cmake -S . -B build >/dev/null   # picks up a web build made since the last configure
cmake --build build -j "$(nproc)" --target kandu-player kandu kandu_manpage
if command -v dpkg-shlibdeps >/dev/null; then
  rm -f "$out"/kandu_*.deb
  (cd build && cpack -G DEB -B "$out/cpack" >"$out/cpack.log") || { cat "$out/cpack.log"; exit 1; }
  mv "$out"/cpack/kandu_*.deb "$out/"
  rm -rf "$out/cpack"
  deb=$(ls "$out"/kandu_*.deb)
  echo "== package: $deb ($(du -k "$deb" | cut -f1) KB), depends on: $(dpkg-deb -f "$deb" Depends)"
  made=1
else
  echo "== package: no .deb: dpkg-shlibdeps (dpkg-dev) is not installed"
fi

if [ "$windows" -eq 1 ]; then
  if apt_try_install g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 >/dev/null; then
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    mkdir -p "$stage/kandu-windows/32-bit" "$stage/kandu-windows/64-bit"
    declare -A toolchain=([win]=cmake/mingw-i686.cmake [win64]=cmake/mingw-x86_64.cmake)
    declare -A folder=([win]=32-bit [win64]=64-bit)
    for b in win win64; do
      cmake -S . -B "build-$b" -DCMAKE_TOOLCHAIN_FILE="${toolchain[$b]}" -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
      cmake --build "build-$b" -j "$(nproc)" --target kandu >/dev/null
      cp "build-$b/kandu.dll" "$stage/kandu-windows/${folder[$b]}/kandu.dll"
    done
    cp LICENSE "$stage/kandu-windows/LICENSE.txt"
    # Windows' own editors read CRLF.
    sed 's/$/\r/' docs/windows-hosts.txt >"$stage/kandu-windows/README.txt"
    rm -f "$out/kandu-windows.zip"
    (cd "$stage" && cmake -E tar cf "$out/.kandu-windows.zip.part" --format=zip kandu-windows)
    mv "$out/.kandu-windows.zip.part" "$out/kandu-windows.zip"
    echo "== package: $out/kandu-windows.zip ($(du -k "$out/kandu-windows.zip" | cut -f1) KB): 32-bit/kandu.dll, 64-bit/kandu.dll, LICENSE.txt, README.txt"
    made=1
  else
    echo "== package: no kandu-windows.zip: mingw-w64 cannot be installed (${apt_failed[*]})"
  fi
fi
[ "$made" -eq 1 ]
