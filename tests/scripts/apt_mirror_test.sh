#!/usr/bin/env bash
# The set-up scripts on a machine whose package mirror is caught mid-sync, without the network and
# without touching the machine: stand-ins for apt-get, dpkg, dpkg-query and sudo come first on PATH.
# apt-get fails `update` with the mirror's message (always, or only while i386 is configured) and
# fails `install` of the packages named in UNINSTALLABLE; every other call succeeds and is written
# down. dpkg keeps the foreign architectures in a file of its own.
#   apt_mirror_test.sh SOURCE_DIR
set -uo pipefail
source_dir=${1:?usage: apt_mirror_test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...: passes when COMMAND succeeds
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

bin=$work/bin
mkdir -p "$bin"
cat >"$bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
case " $* " in
  *" update "*)
    if [ "$UPDATE_FAILS" = always ] || { [ "$UPDATE_FAILS" = i386 ] && grep -qx i386 "$STATE/arch"; }; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (75212 != 75332). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi ;;
  *" install "*)
    for p in "$@"; do
      for bad in $UNINSTALLABLE; do
        [ "$p" = "$bad" ] && { echo "E: Unable to locate package $p" >&2; exit 100; }
      done
    done ;;
esac
exit 0
STANDIN
cat >"$bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STATE/calls"
case "$1" in
  --print-foreign-architectures) cat "$STATE/arch" ;;
  --add-architecture) echo "$2" >>"$STATE/arch" ;;
  --remove-architecture) grep -vx "$2" "$STATE/arch" >"$STATE/arch.new"; mv "$STATE/arch.new" "$STATE/arch" ;;
esac
STANDIN
# Every package is installed but those named in MISSING.
cat >"$bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
p=${*: -1}
for m in $MISSING; do [ "$p" = "$m" ] && exit 1; done
printf 'install ok installed'
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/*

# run NAME SCRIPT: runs the script with the stand-ins; its output in $work/NAME.out, status in $status.
run() {
  export STATE=$work/$1
  mkdir -p "$STATE"
  : >"$STATE/calls"
  [ -f "$STATE/arch" ] || : >"$STATE/arch"
  PATH=$bin:$PATH "$source_dir/scripts/$2" >"$work/$1.out" 2>&1
  status=$?
  cp "$work/$1.out" "$STATE/out"
}
lines() { grep -c -- "$2" "$work/$1.out"; }
calls() { grep -c -- "$2" "$work/$1/calls"; }
is() { [ "$1" = "$2" ] || { echo "     expected '$2', got '$1'"; return 1; }; }

# 1. The mirror fails every update: tried twice, said once, the install goes on with the old index.
UPDATE_FAILS=always UNINSTALLABLE="" MISSING="xvfb" run mirror setup-debian.sh
check "set-up goes on when the index cannot be updated (status $status)" is "$status" 0
check "apt-get update is tried twice" is "$(calls mirror 'apt-get update')" 2
check "one line says so, with the mirror's last line" \
  is "$(lines mirror '^note: apt-get update failed twice, going on with the package index this machine has: E: Failed to fetch .*Mirror sync in progress')" 1
check "the missing package is installed" is "$(calls mirror 'apt-get install -y -qq --no-install-recommends xvfb')" 1

# 2. A required package that cannot be installed is a failure that names it, and only it.
UPDATE_FAILS=always UNINSTALLABLE="libsdl2-dev" MISSING="xvfb libsdl2-dev" run required setup-debian.sh
check "a required package that does not install fails the set-up (status $status)" is "$status" 1
check "the error names that package only" \
  is "$(lines required '^error: cannot install the required package(s): libsdl2-dev$')" 1

# 3. Nothing missing: the index is not even touched.
UPDATE_FAILS=always UNINSTALLABLE="" MISSING="" run nothing setup-debian.sh
check "nothing missing, nothing called (status $status)" is "$status/$(calls nothing apt-get)" 0/0

# 4. The Windows leg, where the i386 index is the one out of step: the 32-bit run is skipped in one
# line, the native packages still install, and the i386 architecture this added is gone again.
UPDATE_FAILS=i386 UNINSTALLABLE="" MISSING="wine64 wine32:i386" run i386 setup-windows.sh
check "the Windows set-up passes without i386 (status $status)" is "$status" 0
check "one line says the 32-bit run is skipped and why" \
  is "$(lines i386 '^== skipped: kandu.dll (32-bit) under Wine, because the i386 package index cannot be updated: E: Failed to fetch .*Packages.xz')" 1
check "the i386 architecture was added and taken away again" \
  is "$(calls i386 'dpkg --add-architecture i386')/$(calls i386 'dpkg --remove-architecture i386')/$(wc -l <"$work/i386/arch")" 1/1/0
check "the index is updated again without i386 (twice with it, then once more), and that one is not noted" \
  is "$(calls i386 'apt-get update')/$(lines i386 '^note: apt-get update failed')/$(sed -n 6p "$work/i386/calls")" \
  "3/1/apt-get update -qq"
check "the native packages install, the i386 ones are not asked for" \
  is "$(calls i386 'install .*wine64')/$(calls i386 'install .*wine32:i386')" 1/0

# 5. The i386 index updates but its packages do not install: skipped, architecture taken away.
UPDATE_FAILS=none UNINSTALLABLE="wine32:i386" MISSING="wine32:i386 libgl1:i386" run i386-install setup-windows.sh
check "the Windows set-up passes when the i386 packages do not install (status $status)" is "$status" 0
check "one line names the i386 packages that did not install" \
  is "$(lines i386-install '^== skipped: kandu.dll (32-bit) under Wine, because its i386 packages cannot be installed: wine32:i386$')" 1
check "the i386 architecture is taken away again" is "$(wc -l <"$work/i386-install/arch")" 0

# 6. An i386 architecture the machine already had stays, whatever happens.
mkdir -p "$work/had-i386"
echo i386 >"$work/had-i386/arch"
UPDATE_FAILS=always UNINSTALLABLE="wine32:i386" MISSING="wine32:i386" run had-i386 setup-windows.sh
check "an i386 architecture the machine had is left alone (status $status)" \
  is "$status/$(calls had-i386 'dpkg --remove-architecture')/$(cat "$work/had-i386/arch")" 0/0/i386

# 7. A needed Windows package that does not install fails the leg, by name.
UPDATE_FAILS=none UNINSTALLABLE="wine64" MISSING="wine64" run native setup-windows.sh
check "a needed Windows package that does not install fails (status $status)" is "$status" 1
check "its name is given" is "$(lines native '^error: cannot install the required package(s): wine64$')" 1

if [ "$failures" -ne 0 ]; then
  for f in "$work"/*.out; do echo "--- $(basename "$f")"; cat "$f"; done
  echo "$failures check(s) failed"
  exit 1
fi
