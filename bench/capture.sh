#!/usr/bin/env bash
# The capture ratio: time to capture the default demo to MP4 at 1024 × 768, 60 fps, divided by the
# render-only time of the same frames (kandu_bench's BM_DemoRenderOnly). Run from a build with the
# benchmarks: bench/capture.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
out=$(mktemp -d)
start=$(date +%s.%N)
"$build/kandu-player" render --out "$out/demo.mp4" 2>/dev/null
capture=$(echo "$(date +%s.%N) - $start" | bc)
render=$("$build/bench/kandu_bench" --benchmark_filter=DemoRenderOnly --benchmark_format=csv 2>/dev/null |
  awk -F, '/DemoRenderOnly/ {print $3}')  # seconds (the benchmark's unit)
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$out/demo.mp4")
rm -rf "$out"
echo "frames:       $frames"
echo "capture:      ${capture} s"
echo "render only:  ${render} s"
echo "ratio:        $(echo "scale=3; $capture / $render" | bc)"
echo "real time:    $(echo "scale=3; $frames / 60 / $capture" | bc) x"
