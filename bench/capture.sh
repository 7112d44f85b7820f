#!/usr/bin/env bash
# The capture of the default demo (1024 × 768, 60 fps) stage by stage and whole, in one run, with
# the bound the machine's cores put on it and the capture's ratio to render-only and to that bound.
# Run on an otherwise idle machine, from a build with the benchmarks: bench/capture.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target kandu_capture_bench >/dev/null
"$build/bench/kandu_capture_bench"
