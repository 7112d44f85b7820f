// Offline capture: frame-exact rendering at a fixed frame rate, to video, PNG frames, a still or a
// contact sheet. The plug-in's clock follows the frame times, so captures are reproducible.
#pragma once

#include <string>

#include "media/audio.h"
#include "player/options.h"
#include "player/plugin.h"
#include "timeline/timeline.h"

namespace kandu {

// A --to past the timeline's end is cut there, with a message.
void cutRangeToTimeline(const Timeline &timeline, Options &options);
// Checks a capture or play request against the timeline before any work: the range and --at
// within the timeline, the output's kind, and for a video ffmpeg on PATH and an even frame size.
// False with a one-line message (exit status 2).
bool checkRequest(const Timeline &timeline, const Options &options, std::string &error);

// Each returns the process exit status: 0, 1 with a message on stderr, or -1 when SIGINT or
// SIGTERM stopped it (the output removed, nothing else said).
// A video carries `music` (cut to the range) as AAC; PNG frames get it as DIR/audio.wav. Null: silent.
// render --part I/N: frames [begin, end) of the range's `frames`, the parts splitting them as evenly
// as whole frames allow, in order and without a gap (parts 0: all of them).
struct PartFrames {
  int64_t begin, end;
};
PartFrames partFrames(int64_t frames, int part, int parts);
int runRender(const Plugin &plugin, const Timeline &timeline, const Options &options, AudioSource *music);
// render --sound-only: the range's sound as 16-bit WAV, the same bytes a --frames render writes as
// audio.wav; with no sound track, nothing is written (and it says so).
int runSoundOnly(const Timeline &timeline, const Options &options, AudioSource *music);
int runStill(const Plugin &plugin, const Timeline &timeline, const Options &options);
// Draws the picture `still` writes for `atMs` at `fps` into the current framebuffer, pre-roll
// included, on the capture clock (a window switches back to the real clock to play on).
void drawStill(const Plugin &plugin, const Timeline &timeline, int64_t atMs, int fps, int width, int height);
int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &options);

}  // namespace kandu
