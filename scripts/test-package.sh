#!/usr/bin/env bash
# What we ship, tried as a user gets it: scripts/package.sh makes the .deb and kandu-windows.zip;
# the zip's two DLLs go through the Windows export checks; the .deb is installed with apt, the
# installed kandu-player runs from an empty folder (tests/install/installed_test.py), the package
# is removed, and no file it installed may be left. Then the same package goes into a fresh Debian
# 12 (a minimal debootstrap in a temporary folder, which has never seen kandu or its build): apt
# installs it without recommended packages, the player renders, finds a tempo and exports there,
# and the purge leaves nothing. Needs root (or sudo) and apt; where those, the packaging tools or
# debootstrap are missing, one line says so and it passes.
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
fresh=""
cleanup() {
  [ "$installed" -eq 1 ] && $sudo apt-get purge -y -qq kandu >/dev/null 2>&1
  if [ -n "$fresh" ]; then
    $sudo umount "$fresh/proc" "$fresh/dev" 2>/dev/null
    $sudo rm -rf --one-file-system "$fresh"
  fi
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

# The fresh machine.
if ! command -v debootstrap >/dev/null; then
  source scripts/apt.sh
  apt_try_install debootstrap >/dev/null 2>&1
fi
mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}
fresh=$(mktemp -d /var/tmp/kandu-fresh-XXXXXX)
if ! command -v debootstrap >/dev/null; then
  echo "== package: the fresh Debian 12 run skipped: debootstrap cannot be installed"
elif ! $sudo debootstrap --variant=minbase bookworm "$fresh" "$mirror" >"$out/debootstrap.log" 2>&1; then
  echo "== package: the fresh Debian 12 run skipped: debootstrap failed ($(tail -n 1 "$out/debootstrap.log"))"
elif ! $sudo mount -t proc proc "$fresh/proc" || ! $sudo mount --bind /dev "$fresh/dev"; then
  echo "== package: the fresh Debian 12 run skipped: this machine cannot mount /proc in a chroot"
else
  $sudo cp "$deb" "$fresh/root/"
  $sudo cp /etc/resolv.conf "$fresh/etc/resolv.conf" 2>/dev/null
  # Everything in one script in the chroot; its last lines say what passed.
  $sudo chroot "$fresh" /bin/bash -c '
    export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
    ok() { if [ "$1" -eq 0 ]; then echo "ok   fresh: $2"; else echo "FAIL fresh: $2"; fi; }
    # A mirror caught mid-sync fails the update: tried twice, then the install says whether the
    # index debootstrap left is enough; when it is not, that is the mirror, not kandu.
    updated=0
    for try in 1 2; do apt-get update -qq >/root/update.log 2>&1 && { updated=1; break; }; done
    if ! apt-get install -y -qq --no-install-recommends /root/'"$(basename "$deb")"' >/root/install.log 2>&1; then
      if [ "$updated" -eq 0 ]; then
        echo "SKIP fresh: apt-get update failed twice in the fresh Debian ($(grep -m 1 "^E:" /root/update.log))"
        exit 0
      fi
      ok 1 "apt-get install --no-install-recommends on a minimal Debian 12: $(tail -n 1 /root/install.log)"
      exit 0
    fi
    ok 0 "apt-get install --no-install-recommends ./'"$(basename "$deb")"' on a minimal Debian 12"
    mkdir /root/empty && cd /root/empty || exit 1
    [ "$(kandu-player --version)" = "kandu-player '"$version"'" ]; ok $? "kandu-player --version"
    kandu-player render --to 1000 --size 128x96 --out demo.mp4 >/dev/null 2>&1 && [ -s demo.mp4 ]
    ok $? "render a second of the built-in demo"
    kandu-player still --at 9500 --out still.png >/dev/null 2>&1 && [ -s still.png ]; ok $? "still"
    ffmpeg -v error -f lavfi -i "aevalsrc=0.8*lt(mod(t-0.3\,60/128)\,0.004)*sin(2*PI*1000*t):s=44100:d=6" \
      -ac 2 song.flac && kandu-player tempo song.flac | grep -q "^tempo 12[78]\."; ok $? "tempo on a click track"
    kandu-player new song.flac >/dev/null 2>&1 && echo "0 4b cube_thing" >>song.timeline &&
      kandu-player check song.timeline >/dev/null; ok $? "new and check"
    kandu-player export song.timeline -o demo.html >/dev/null 2>&1 && [ "$(stat -c %s demo.html)" -gt 100000 ]
    ok $? "export"
    dpkg -L kandu >/root/files
    apt-get purge -y -qq kandu >/dev/null 2>&1; ok $? "apt-get purge kandu"
    left=$(while read -r p; do case "$p" in */kandu|*/kandu/*) [ -e "$p" ] && echo "$p";; *) [ -f "$p" ] && echo "$p";; esac; done </root/files)
    [ -z "$left" ]; ok $? "nothing left after the purge $left"
  ' >"$out/fresh.log" 2>&1
  cat "$out/fresh.log"
  if grep -q '^SKIP fresh' "$out/fresh.log"; then
    echo "== package: the fresh Debian 12 run skipped: its package index could not be updated"
  else
    passed=$((passed + $(grep -c '^ok   fresh' "$out/fresh.log")))
    failed=$((failed + $(grep -c '^FAIL fresh' "$out/fresh.log")))
    [ "$(grep -c '^ok   fresh' "$out/fresh.log")" -eq 9 ] || { echo "FAIL fresh: not every check ran"; failed=$((failed + 1)); }
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
