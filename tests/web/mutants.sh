#!/usr/bin/env bash
# Planted faults in the web pages' modules, one at a time: does `node --test` (tests/web/unit/) or,
# where it does not, a browser test notice? Runs on a scratch copy; the tree is never touched.
# Needs the native build (build/) and the web build (build-web/).
#   tests/web/mutants.sh tests/mutants-web.txt
# LIST: one fault a line, "path | perl substitution | what it breaks [| browser tests]", as
# ../shared/tools/mutants; the fourth field names the browser tests that cover that module
# (tests/web/NAME.py, by spaces; default: editor_test lanes_test).
set -uo pipefail
list=${1:?usage: tests/web/mutants.sh LIST}
cd "$(dirname "$0")/../.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/web" "$work/src/tests" "$work/src/host" "$work/src/web/module"
cp -r web/page "$work/src/web/"
cp -r tests/web "$work/src/tests/"
cp host/words.h "$work/src/host/"
cp web/module/api.h "$work/src/web/module/"
cp -r build-web "$work/build-web"
export NODE_PATH=/usr/share/nodejs
killed=0 survived=0 skipped=0
while IFS= read -r line <&3 || [ -n "$line" ]; do
  case "$line" in ''|'#'*) continue;; esac
  file=$(echo "$line" | cut -d'|' -f1 | xargs)
  expr=$(echo "$line" | cut -d'|' -f2 | sed 's/^ *//; s/ *$//')
  what=$(echo "$line" | cut -d'|' -f3 | sed 's/^ *//; s/ *$//')
  browsers=$(echo "$line" | cut -d'|' -f4 -s | xargs)
  browsers=${browsers:-editor_test lanes_test}
  page=${file#web/page/}
  cp "$work/src/$file" "$work/orig"
  perl -0pi -e "$expr" "$work/src/$file" </dev/null
  if cmp -s "$work/src/$file" "$work/orig"; then
    echo "SKIPPED   $file: the substitution does not apply ($what)"; skipped=$((skipped + 1)); continue
  fi
  if ! node --test "$work/src/tests/web/unit/" >"$work/node.log" 2>&1; then
    echo "KILLED    $file: $what  [node --test]"; killed=$((killed + 1))
  else
    cp "$work/src/$file" "$work/build-web/$page"
    noticed=""
    for t in $browsers; do
      case "$t" in  # the tests that load the plug-in take it as their third argument
        editor_test|studio_test|export_test|reading_test|compare) args=(build/kandu-player build/libkandu.so) ;;
        *) args=(build/kandu-player) ;;
      esac
      if ! python3 "tests/web/$t.py" "$work/build-web" "${args[@]}" "$work/out-$t" >>"$work/browser.log" 2>&1; then
        noticed=$t
        break
      fi
    done
    if [ -n "$noticed" ]; then
      echo "KILLED    $file: $what  [$noticed.py]"; killed=$((killed + 1))
    else
      echo "SURVIVED  $file: $what"; survived=$((survived + 1))
    fi
    cp "$root/build-web/$page" "$work/build-web/$page"
  fi
  cp "$work/orig" "$work/src/$file"
done 3<"$list"
echo "$killed killed, $survived survived, $skipped skipped"
[ "$survived" -eq 0 ]
