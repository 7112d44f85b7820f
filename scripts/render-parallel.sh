#!/usr/bin/env bash
# A long capture as a render farm: the range is split into parts (kandu-player render --part I/N),
# GNU parallel runs them here or on other machines, and the parts are joined without re-encoding
# the pictures (ffmpeg's concat demuxer), the sound muxed once (render --sound-only). With --frames
# DIR the parts' frames are gathered instead, the same files, byte for byte, as one render writes.
#
#   scripts/render-parallel.sh [--jobs N] [--chunks N] [--sshlogin HOSTS] [--player PATH]
#                              [TIMELINE] [render's options: --out, --frames, --fps, --size, --from, --to, --music, --plugin]
#
# --jobs N       parts run at once on each machine (default: this machine's cores)
# --chunks N     parts in all (default: as many as --jobs, times the machines of --sshlogin)
# --sshlogin S   GNU parallel's: machines to run parts on, comma-separated (':' is this one). Each
#                needs kandu installed and the timeline and its music at the same path as here
#                (a shared folder); the parts come back by rsync and are removed there.
# --player PATH  the kandu-player to run (default: build/kandu-player of this checkout when built,
#                else kandu-player on PATH; on other machines, kandu-player on their PATH)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

usage() { echo "usage: scripts/render-parallel.sh [--jobs N] [--chunks N] [--sshlogin HOSTS] [--player PATH] [TIMELINE] [render's options]" >&2; exit 2; }
fail() { echo "render-parallel: $*" >&2; exit 2; }
whole() { [[ "$1" =~ ^[1-9][0-9]{0,3}$ ]] || fail "$2 wants a whole number from 1 to 9999, not '$1'"; }

jobs=$(nproc)
chunks=""
sshlogin=""
player=""
while [ $# -gt 0 ]; do
  case "$1" in
    --jobs) [ $# -ge 2 ] || usage; whole "$2" --jobs; jobs=$2; shift 2 ;;
    --chunks) [ $# -ge 2 ] || usage; whole "$2" --chunks; chunks=$2; shift 2 ;;
    --sshlogin) [ $# -ge 2 ] || usage; sshlogin=$2; shift 2 ;;
    --player) [ $# -ge 2 ] || usage; player=$2; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
timeline=()
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then
  timeline=("$(realpath -- "$1")")
  shift
fi
# Render's options: the output is ours to place; the rest goes to every part as given.
out=""
frames=""
pass=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out|-o) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    --frames) [ $# -ge 2 ] || usage; frames=$2; shift 2 ;;
    --part|--sound-only) fail "$1 is this script's to give" ;;
    --music|--plugin) [ $# -ge 2 ] || usage; pass+=("$1" "$(realpath -- "$2")"); shift 2 ;;
    --*) [ $# -ge 2 ] && [[ "$2" != --* ]] && { pass+=("$1" "$2"); shift 2; } || { pass+=("$1"); shift; } ;;
    *) fail "unexpected argument '$1' (the timeline comes first)" ;;
  esac
done
[ -n "$out" ] && [ -n "$frames" ] && fail "give --out or --frames, not both"
target=${frames:-${out:-out/kandu.mp4}}

remote_player=${player:-kandu-player}
if [ -z "$player" ]; then
  if [ -x "$here/build/kandu-player" ]; then player=$here/build/kandu-player; else player=kandu-player; fi
fi
command -v parallel >/dev/null || fail "needs GNU parallel (Debian's parallel)"
[ -n "$frames" ] || command -v ffmpeg >/dev/null || fail "needs ffmpeg to join the parts"
if [ -z "$chunks" ]; then
  machines=1
  [ -n "$sshlogin" ] && machines=$(tr ',' '\n' <<<"$sshlogin" | grep -c .)
  chunks=$((jobs * machines))
fi

# Everything is made in a folder beside the target and renamed into place when complete.
mkdir -p -- "$(dirname -- "$target")"
target=$(realpath -- "$target")
work=$(mktemp -d "$(dirname -- "$target")/.$(basename -- "$target").kandu-parallel-XXXXXX")
trap 'rm -rf -- "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The sound of the whole range, once (nothing when the timeline has none). It also checks the
# request before any part starts.
"$player" render "${timeline[@]}" "${pass[@]}" --sound-only --out "$work/sound.wav" >/dev/null

ssh=()
[ -n "$sshlogin" ] || remote_player=$player
if [ -n "$sshlogin" ]; then
  returned="$work/part-{}"
  [ -n "$frames" ] || returned+=.mp4
  ssh=(--sshlogin "$sshlogin" --return "$returned" --cleanup)
fi
# Parts as MP4 (exact frame times): their pictures are copied into the target when joined.
if [ -n "$frames" ]; then part_out=(--frames "$work/part-{}"); else part_out=(--out "$work/part-{}.mp4"); fi
echo "render-parallel: $chunks parts, $jobs at a time${sshlogin:+ on $sshlogin}"
parallel --will-cite --halt now,fail=1 --jobs "$jobs" "${ssh[@]}" \
  "$remote_player" render "${timeline[@]}" "${pass[@]}" --part "{}/$chunks" "${part_out[@]}" \
  ::: $(seq 1 "$chunks")

if [ -n "$frames" ]; then
  mkdir "$work/frames"
  for ((i = 1; i <= chunks; i++)); do
    find "$work/part-$i" -maxdepth 1 -name 'frame_*.png' -exec mv -t "$work/frames" {} +
  done
  [ -f "$work/sound.wav" ] && mv "$work/sound.wav" "$work/frames/audio.wav"
  if [ -e "$target" ]; then
    # Only a folder of frames is replaced, as render does.
    [ -d "$target" ] && [ -z "$(find "$target" -mindepth 1 ! -name 'frame_*.png' ! -name audio.wav -print -quit)" ] ||
      fail "$target holds more than frames: not replaced"
    mv -- "$target" "$work/old"
  fi
  mv -- "$work/frames" "$target"
  echo "render-parallel: wrote $(find "$target" -name 'frame_*.png' | wc -l) frames to $target"
else
  for ((i = 1; i <= chunks; i++)); do echo "file 'part-$i.mp4'"; done >"$work/parts.txt"
  sound=()
  [ -f "$work/sound.wav" ] && sound=(-i "file:$work/sound.wav" -map 1:a -c:a aac -b:a 192k)
  ext=${target##*.}
  ffmpeg -hide_banner -nostdin -loglevel error -y -f concat -safe 0 -i "file:$work/parts.txt" "${sound[@]}" \
    -map 0:v -c:v copy -movflags +faststart "file:$work/joined.$ext"
  mv -- "$work/joined.$ext" "$target"
  echo "render-parallel: wrote $target"
fi
