#!/usr/bin/env bash
# Installs what the Windows leg of the tests needs (only what is missing): the mingw-w64 cross
# compilers and the 64-bit Wine everywhere, and the 32-bit Wine with its GL drivers (i386 packages)
# where they can be had. Those are optional: when the i386 index cannot be updated or its packages
# cannot be installed, one line says that the 32-bit run is skipped and why, and an i386
# architecture this script added is taken away again, so the machine's package configuration is as
# it was. A needed package that cannot be installed ends it with status 1 and its name.
set -euo pipefail
source "$(dirname "$0")/apt.sh"

native=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 libgl1 libgl1-mesa-dri libglx-mesa0 xvfb xauth)
foreign=(wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386)
mapfile -t need_native < <(apt_missing "${native[@]}")
mapfile -t need_foreign < <(apt_missing "${foreign[@]}")
[ ${#need_native[@]} -eq 0 ] && [ ${#need_foreign[@]} -eq 0 ] && exit 0

added=0
if [ ${#need_foreign[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $apt_sudo dpkg --add-architecture i386
  added=1
fi
# Takes the i386 architecture away again if this script added it (dpkg keeps it while any i386
# package is installed).
restore_architectures() {
  if [ "$added" -eq 1 ]; then
    $apt_sudo dpkg --remove-architecture i386 || true
    added=0
  fi
}

apt_update
skip32=""
if [ "$added" -eq 1 ] && [ "$apt_fresh" -eq 0 ]; then
  # An architecture added just now has no index until an update succeeds: without one it is of no
  # use, and left in place it would fail every later update of the machine.
  skip32="the i386 package index cannot be updated: $apt_update_error"
  restore_architectures
  apt_update
fi
[ ${#need_native[@]} -gt 0 ] && apt_require "${need_native[@]}"
if [ ${#need_foreign[@]} -gt 0 ] && [ -z "$skip32" ] && ! apt_try_install "${need_foreign[@]}"; then
  skip32="its i386 packages cannot be installed: ${apt_failed[*]}"
  restore_architectures
fi
[ -z "$skip32" ] || echo "== skipped: kandu.dll (32-bit) under Wine, because $skip32"
exit 0
