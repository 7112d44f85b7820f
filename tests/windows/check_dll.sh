#!/usr/bin/env bash
# Checks a kandu.dll's export and import tables: the expected machine, exactly the six undecorated
# names at their ordinals (AssignController the same function as FreeDLL), and imports from Windows
# system DLLs only.
#   tests/windows/check_dll.sh build-win/kandu.dll i686
#   tests/windows/check_dll.sh build-win64/kandu.dll x86_64
set -euo pipefail
dll=$1
arch=$2
case "$arch" in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac
dump=$("$arch-w64-mingw32-objdump" -p "$dll")
passed=0
failed=0
check() {
  if [ "$1" = "$2" ]; then
    echo "ok   $3"
    passed=$((passed + 1))
  else
    echo "FAIL $3"
    echo "     expected: $2"
    echo "     got:      $1"
    failed=$((failed + 1))
  fi
}

got_format=$(sed -n 's/.*file format //p' <<<"$dump" | head -n 1)
check "$got_format" "$format" "a $arch DLL"

# "[  11] AssignController" in the name table: index 11 is ordinal 12 (the ordinal base is 1).
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk -F'[][]' '/\[ *[0-9]+\]/ {gsub(/ /, "", $2); name=$3; gsub(/^ +| +$/, "", name); print name "@" $2 + 1}' | sort | tr '\n' ' ')
check "$exports" "AssignController@12 ExecuteDLL@1 FreeDLL@3 InitDLL@2 getBlockInfo@13 setTimeDLL@4 " \
  "exports exactly the six names at ordinals 1, 2, 3, 4, 12 and 13, undecorated"

base=$(awk '/Ordinal Base/ {print $NF; exit}' <<<"$dump")
check "$base" "1" "ordinal base 1"

# "[   2] +base[   3] 1d60 Export RVA": the address of ordinal 3 (FreeDLL) and 12 (AssignController).
rva() { awk -v o="$1" -F'[][]' '/\+base\[/ {gsub(/ /, "", $4); if ($4 == o) {split($5, f, " "); print f[1]}}' <<<"$dump"; }
free_rva=$(rva 3)
check "$(rva 12)" "${free_rva:-missing}" "AssignController is the same function as FreeDLL"

allowed=" gdi32.dll glu32.dll kernel32.dll msvcrt.dll opengl32.dll user32.dll winmm.dll "
imports=$(echo "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u | tr '\n' ' ')
foreign=""
for d in $imports; do
  case "$allowed" in *" $d "*) ;; *) foreign="$foreign $d" ;; esac
done
check "${foreign:-none}" "none" "imports only Windows system DLLs ($imports)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
