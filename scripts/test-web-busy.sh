#!/usr/bin/env bash
# The browser tests on a busy machine: scripts/test-web.sh RUNS times in a row (default 5) while a
# busy loop keeps one core at work, as another program would. Prints one line a run and exits 1
# when any run failed (its log kept in out/web-busy-N.log).
#   scripts/test-web-busy.sh [RUNS]
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
mkdir -p out
sh -c 'while :; do :; done' &
busy=$!
trap 'kill "$busy" 2>/dev/null' EXIT
failed=0
for ((i = 1; i <= runs; i++)); do
  start=$(date +%s)
  if scripts/test-web.sh >"out/web-busy-$i.log" 2>&1 && ! grep -q '^FAIL' "out/web-busy-$i.log"; then
    echo "== web beside a busy core, run $i of $runs: passed ($(grep -c '^ok' "out/web-busy-$i.log") checks, $(($(date +%s) - start)) s)"
  else
    failed=1
    echo "== web beside a busy core, run $i of $runs: FAILED (out/web-busy-$i.log):"
    grep '^FAIL\|Error\|error' "out/web-busy-$i.log" | head -n 5
  fi
done
exit "$failed"
