#!/usr/bin/env bash
# Builds kandu.dll for 32-bit (build-win/) and 64-bit (build-win64/) Windows hosts with mingw-w64,
# checks both DLLs' export and import tables, then runs the Windows test host under Wine (X from
# Xvfb, Mesa's llvmpipe) and compares its pictures and read-back texture with the Linux build's:
# the 32-bit DLL under 32-bit Wine and the 64-bit DLL under wine64, each where this machine runs
# such programs. Whether it does is found out by running a trivial program; what cannot run is
# reported as skipped in one line, and the run still passes. Needs the Linux build in build/
# (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# What the 32-bit run needs may not be had here; then the set-up says so, once.
scripts/setup-windows.sh | tee "$out/setup.log"
skip32=0
grep -q '^== skipped: kandu.dll (32-bit)' "$out/setup.log" && skip32=1

declare -A toolchain=([win]=cmake/mingw-i686.cmake [win64]=cmake/mingw-x86_64.cmake)
declare -A arch=([win]=i686 [win64]=x86_64)
declare -A loader=([win]=/usr/lib/wine/wine [win64]=/usr/lib/wine/wine64)
declare -A bits=([win]=32 [win64]=64)

for b in win win64; do
  cmake -S . -B "build-$b" -DCMAKE_TOOLCHAIN_FILE="${toolchain[$b]}" -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
  cmake --build "build-$b" -j "$(nproc)"
done
cmake --build build -j "$(nproc)" --target kandu_win_compare

for b in win win64; do
  echo "== build-$b/kandu.dll (${bits[$b]}-bit): export and import tables"
  tests/windows/check_dll.sh "build-$b/kandu.dll" "${arch[$b]}"
done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Runs a Windows program of build-$1 under the Wine of its width, in that build's own prefix; the
# test host gets a display from Xvfb (xvfb-run in front of the command), the probe needs none.
wine_run() {
  local b=$1
  shift
  (cd "build-$b" && WINEPREFIX="$PWD/wineprefix" WINELOADER="${loader[$b]}" timeout 600 "$@")
}
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

ran=0
for b in win win64; do
  what="${bits[$b]}-bit"
  [ "$b" = win ] && [ "$skip32" -eq 1 ] && continue
  printf 'int main(void) { return 0; }\n' >"$out/probe.c"
  "${arch[$b]}-w64-mingw32-gcc" -o "build-$b/kandu_probe.exe" "$out/probe.c"
  if [ ! -x "${loader[$b]}" ]; then
    echo "== skipped: kandu.dll ($what) under Wine, because ${loader[$b]} is not installed"
    continue
  fi
  if ! probe_log=$(wine_run "$b" "${loader[$b]}" kandu_probe.exe 2>&1); then
    # Say what the machine lacks in plain words rather than pass on the loader's shell error.
    if grep -qiE 'exec format error|cannot execute binary file' <<<"$probe_log"; then
      reason="this kernel cannot run $what programs"
    else
      reason="Wine cannot run a trivial $what Windows program here: $(tail -n 1 <<<"$probe_log")"
    fi
    echo "== skipped: kandu.dll ($what) under Wine, because $reason"
    continue
  fi
  echo "== kandu_win_host.exe ($what) under Wine"
  rm -rf "${out:?}/$b"
  mkdir -p "$out/$b"
  wine_run "$b" "${xvfb[@]}" "${loader[$b]}" kandu_win_host.exe "Z:${out//\//\\}\\$b"
  echo "== the $what Windows build against the Linux build"
  build/tests/kandu_win_compare "$out/$b"
  ran=$((ran + 1))
done
echo "== Windows builds proven under Wine: $ran of 2"
