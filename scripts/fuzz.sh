#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/ and runs each from its corpus in tests/fuzz/corpus (new inputs go to a scratch
# directory, not into the repository).
#   scripts/fuzz.sh           a brief run of each (what scripts/test.sh does)
#   scripts/fuzz.sh RUNS      RUNS inputs each, e.g. scripts/fuzz.sh 1000000
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}

# Find out by trying whether clang can build a fuzzer here.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n' \
  >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null || ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "== skipped: fuzzing, because clang++ with libFuzzer is not available here"
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DKANDU_FUZZ=ON -DKANDU_SANITIZE=ON \
  -DKANDU_TESTS=OFF -DKANDU_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target kandu_params_fuzz kandu_exports_fuzz kandu_timeline_fuzz

export ASAN_OPTIONS=detect_leaks=0
for target in params exports timeline; do
  echo "== fuzzing $target: $runs inputs"
  mkdir -p "$probe/$target"
  status=0
  "build-fuzz/tests/fuzz/kandu_${target}_fuzz" -runs="$runs" -max_len=512 -print_final_stats=1 \
    "$probe/$target" "tests/fuzz/corpus/$target" >"$probe/$target.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$probe/$target.log"
    echo "== fuzzing $target FAILED (status $status)"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$probe/$target.log"
done
