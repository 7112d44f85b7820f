// The command line of kandu-player. One table of options drives both the parsing and --help.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kandu {

enum class Command { Default, Render, Play, Still, Sheet, Check, Edit, Tempo, New, Export };

struct Options {
  Command command = Command::Default;
  std::string timelinePath;  // empty: the built-in demo (tempo and new: their MUSIC)
  std::string pluginPath;    // empty: beside the player
  std::string outPath;       // empty: the command's default
  std::string framesDir;
  std::string musicPath;     // empty: the timeline's music, or the built-in demo's beat
  int fps = 60;
  int width = 1024;
  int height = 768;
  int64_t from = -1;  // -1: the timeline's start (0)
  int64_t to = -1;    // -1: the timeline's end
  int64_t at = -1;
  // --from, --to and --at given a mark's name instead of milliseconds: resolved once the timeline
  // is read (resolveMarks).
  std::string fromMark, toMark, atMark;
  int part = 0, parts = 0;  // render --part I/N: only that part of the frames (0/0: all of them)
  bool soundOnly = false;   // render --sound-only: the range's sound as WAV, no frames
  bool loop = false;  // play: start over at the end
  int port = 0;       // edit: 0 picks a free one
  bool firstCut = false;                     // new: a first cut from the music
  std::vector<std::string> pulses{"rotate"};  // new --first-cut: the pulse words laid on kicks
  bool noBrowser = false;
  std::string pageDir;  // edit: the editor's pages (empty: found beside the player)
  bool help = false;
  bool version = false;
};

struct Timeline;
// Puts the times of the marks --from, --to and --at named; false with a one-line message when the
// timeline has no such mark, or the range they give is empty.
bool resolveMarks(const Timeline &timeline, Options &options, std::string &error);

// Parses argv; on a bad option or value returns false with a one-line message.
bool parseOptions(int argc, char **argv, Options &options, std::string &error);
std::string usageText();

}  // namespace kandu
