#!/usr/bin/env bash
# What we ship, tried as a user gets it: scripts/package.sh makes the .deb and kandu-windows.zip;
# the zip's two DLLs go through the Windows export checks; the .deb is installed with apt, the
# installed kandu-player runs from an empty folder (tests/install/installed_test.py), the package
# is removed, and no file it installed may be left. Needs root (or sudo) and apt; where those or the
# packaging tools are missing, one line says so and it passes.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
skip() { echo "== package: skipped: $*"; exit 0; }

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "installing a package needs root or sudo without a password"
  sudo=sudo
fi
command -v apt-get >/dev/null && command -v dpkg >/dev/null || skip "no apt-get or dpkg on this machine"
# A kandu the machine's owner installed is theirs: not replaced, not removed.
dpkg-query -W -f='${Status}' kandu 2>/dev/null | grep -q "install ok installed" &&
  skip "a kandu package is already installed here"

out=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" -eq 1 ] && $sudo apt-get purge -y -qq kandu >/dev/null 2>&1
  rm -rf "$out"
}
trap cleanup EXIT
passed=0
failed=0
check() {
  if [ "$1" -eq 0 ]; then echo "ok   $2"; passed=$((passed + 1)); else echo "FAIL $2"; failed=$((failed + 1)); fi
}

scripts/package.sh --out "$out" || { echo "FAIL scripts/package.sh"; exit 1; }
version=$(sed -n 's/^project(kandu VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

if [ -f "$out/kandu-windows.zip" ]; then
  mkdir "$out/zip"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$out/kandu-windows.zip" "$out/zip"
  listing=$(cd "$out/zip" && find . -type f | sort | tr '\n' ' ')
  [ "$listing" = "./kandu-windows/32-bit/kandu.dll ./kandu-windows/64-bit/kandu.dll ./kandu-windows/LICENSE.txt ./kandu-windows/README.txt " ]
  check $? "kandu-windows.zip holds 32-bit/kandu.dll, 64-bit/kandu.dll, LICENSE.txt, README.txt: $listing"
  tests/windows/check_dll.sh "$out/zip/kandu-windows/32-bit/kandu.dll" i686 >"$out/dll32.log"
  check $? "the zip's 32-bit kandu.dll passes the export and import checks"
  tests/windows/check_dll.sh "$out/zip/kandu-windows/64-bit/kandu.dll" x86_64 >"$out/dll64.log"
  check $? "the zip's 64-bit kandu.dll passes the export and import checks"
fi

deb=$(ls "$out"/kandu_*.deb 2>/dev/null || true)
[ -n "$deb" ] || skip "no .deb was made (the line above says why)"
[ "$(basename "$deb")" = "kandu_${version}_amd64.deb" ]
check $? "the package is named kandu_${version}_amd64.deb: $(basename "$deb")"
echo "     $(basename "$deb"): $(du -k "$deb" | cut -f1) KB; Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'libavcodec' && dpkg-deb -f "$deb" Depends | grep -q 'ffmpeg'
check $? "its dependencies come from what the binaries link (libavcodec...) and name ffmpeg"

installed=1
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >"$out/install.log" 2>&1
check $? "apt-get install ./$(basename "$deb")"
dpkg -L kandu >"$out/files"
echo "     installed: $(grep -c . "$out/files") paths, e.g. /usr/bin/kandu-player, /usr/lib/kandu/libkandu.so, /usr/share/kandu/web/editor.html"
for f in /usr/bin/kandu-player /usr/lib/kandu/libkandu.so /usr/share/man/man1/kandu-player.1.gz /usr/share/doc/kandu/LICENSE; do
  [ -f "$f" ]
  check $? "installed $f"
done
python3 tests/install/installed_test.py --player /usr/bin/kandu-player --version "$version" | sed 's/^/     /'
check "${PIPESTATUS[0]}" "the installed kandu-player runs from an empty folder (tests/install/installed_test.py)"

$sudo apt-get purge -y -qq kandu >"$out/remove.log" 2>&1
check $? "apt-get purge kandu"
installed=0
left=""
while IFS= read -r path; do
  [ "$path" = "/." ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # Folders the system shares (/usr/bin) stay; kandu's own must go.
    case "$path" in */kandu|*/kandu/*) left+="$path " ;; esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+="$path "
  fi
done <"$out/files"
[ -z "$left" ]
check $? "nothing the package installed is left after removal${left:+: $left}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
