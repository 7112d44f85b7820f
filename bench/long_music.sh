#!/usr/bin/env bash
# What a long soundtrack costs a short render: a half-second render of one block with a ten-hour
# FLAC of silence against the same render without music, peak memory and wall time of each. The
# music is read only as far as the render needs it, so the two should be about the same.
#   bench/long_music.sh [PLAYER]     (default build/kandu-player)
set -euo pipefail
cd "$(dirname "$0")/.."
player=${1:-build/kandu-player}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i anullsrc=r=44100:cl=stereo -t 36000 -c:a flac "$work/ten-hours.flac"
printf '0 1000 water_thing\n' >"$work/t.timeline"
measure() {
  /usr/bin/time -f "%M %e" -o "$work/time" "$player" render "$work/t.timeline" --to 500 --frames "$work/frames" "$@" \
    >/dev/null 2>"$work/log" || { echo "render failed: $(tail -n 1 "$work/log")"; exit 1; }
  read -r kb seconds <"$work/time"
  echo "$((kb / 1024)) MB, $seconds s"
}
echo "without music:          $(measure)"
echo "with 10 hours of music: $(measure --music "$work/ten-hours.flac")"
