#!/usr/bin/env bash
# Builds kandu.dll and its Windows test host with mingw-w64, checks the DLL's export and import
# tables, runs the host under Wine (X from Xvfb, Mesa's llvmpipe) and compares its pictures and
# read-back texture with the Linux build's. Needs the Linux build in build/ (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j "$(nproc)"
cmake --build build -j "$(nproc)" --target kandu_win_compare

echo "== kandu.dll: export and import tables"
tests/windows/check_dll.sh build-win/kandu.dll

echo "== kandu_win_host.exe under Wine"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
(cd build-win && timeout 600 xvfb-run -a -s "-screen 0 1280x1024x24" wine kandu_win_host.exe "Z:${out//\//\\}")

echo "== the Windows build against the Linux build"
build/tests/kandu_win_compare "$out"
