#include "player/options.h"

#include <cctype>
#include <cstring>

const char *usageText() {
  return "usage: kandu-player [render|play|still|sheet] [TIMELINE] [options]\n"
         "\n"
         "Plays the kandu intro in a window, or captures it frame-exactly without a display.\n"
         "\n"
         "commands:\n"
         "  render          capture every frame to a video (MP4 through ffmpeg) or to PNG frames\n"
         "  play            play in a 1024x768 window in real time\n"
         "  still           write one PNG of one moment (--at)\n"
         "  sheet           write a contact sheet: one thumbnail per drawing block\n"
         "  (none)          play when a display is available, else render\n"
         "\n"
         "  TIMELINE        a timeline file (lines of 'START END WORD', a 'tempo BPM' line for times in\n"
         "                  beats, 'every PERIOD until TIME' to repeat); without it, the built-in demo\n"
         "\n"
         "options:\n"
         "  --plugin PATH   the plug-in to load (default: the libkandu.so built beside the player)\n"
         "  --out PATH      render: the video file (default out/kandu.mp4); still/sheet: the PNG file\n"
         "                  (default out/still.png, out/sheet.png)\n"
         "  --frames DIR    render: write numbered PNG frames into DIR instead of a video\n"
         "  --music FILE    the soundtrack (WAV, FLAC, Ogg, Opus, MP3...): play plays it and follows it,\n"
         "                  render puts it in the video as AAC or beside the frames as DIR/audio.wav;\n"
         "                  overrides the timeline's 'music' line\n"
         "  --loop          play: start over at the end\n"
         "  --fps N         frames per second (default 60)\n"
         "  --size WxH      frame size (default 1024x768)\n"
         "  --from MS --to MS   the range to render or play (default: the whole timeline)\n"
         "  --at MS         still: the moment to show\n"
         "  --help, --version\n"
         "\n"
         "play keys: Space pause, Left/Right seek 5 s, Home restart, F full screen, Esc or Q quit\n";
}

namespace {
bool parseInt(const char *text, int64_t low, int64_t high, int64_t &value) {
  if (!text || !*text || std::strlen(text) > 12) return false;
  for (const char *p = text; *p; ++p)
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  value = std::stoll(text);
  return value >= low && value <= high;
}

bool parseSize(const char *text, int &w, int &h) {
  const char *x = text ? std::strchr(text, 'x') : nullptr;
  if (!x) return false;
  std::string ws(text, static_cast<size_t>(x - text));
  int64_t wv = 0, hv = 0;
  if (!parseInt(ws.c_str(), 16, 8192, wv) || !parseInt(x + 1, 16, 8192, hv)) return false;
  w = static_cast<int>(wv);
  h = static_cast<int>(hv);
  return true;
}
}  // namespace

bool parseOptions(int argc, char **argv, Options &o, std::string &error) {
  bool sawCommand = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char *&out) {
      if (i + 1 >= argc) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    const char *v = nullptr;
    int64_t n = 0;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--loop") {
      o.loop = true;
    } else if (arg == "--plugin") {
      if (!value(v)) return false;
      o.pluginPath = v;
    } else if (arg == "--out") {
      if (!value(v)) return false;
      o.outPath = v;
    } else if (arg == "--music") {
      if (!value(v)) return false;
      o.musicPath = v;
    } else if (arg == "--frames") {
      if (!value(v)) return false;
      o.framesDir = v;
    } else if (arg == "--fps") {
      if (!value(v)) return false;
      if (!parseInt(v, 1, 1000, n)) {
        error = std::string("--fps wants a whole number from 1 to 1000, not '") + v + "'";
        return false;
      }
      o.fps = static_cast<int>(n);
    } else if (arg == "--size") {
      if (!value(v)) return false;
      if (!parseSize(v, o.width, o.height)) {
        error = std::string("--size wants WIDTHxHEIGHT, each 16 to 8192, not '") + v + "'";
        return false;
      }
    } else if (arg == "--from" || arg == "--to" || arg == "--at") {
      if (!value(v)) return false;
      if (!parseInt(v, 0, 2147483647, n)) {
        error = arg + " wants a time in milliseconds, not '" + v + "'";
        return false;
      }
      (arg == "--from" ? o.from : arg == "--to" ? o.to : o.at) = n;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg + " (see --help)";
      return false;
    } else if (!sawCommand && o.timelinePath.empty() &&
               (arg == "render" || arg == "play" || arg == "still" || arg == "sheet")) {
      sawCommand = true;
      o.command = arg == "render" ? Command::Render
                  : arg == "play" ? Command::Play
                  : arg == "still" ? Command::Still
                                   : Command::Sheet;
    } else if (o.timelinePath.empty()) {
      o.timelinePath = arg;
    } else {
      error = "unexpected argument '" + arg + "' (one timeline at most; see --help)";
      return false;
    }
  }
  if (o.help || o.version) return true;
  if (o.from >= 0 && o.to >= 0 && o.to <= o.from) {
    error = "--to must be after --from";
    return false;
  }
  if (o.command == Command::Still && o.at < 0) {
    error = "still needs --at MS";
    return false;
  }
  if (o.at >= 0 && o.command != Command::Still) {
    error = "--at belongs to still";
    return false;
  }
  if (!o.framesDir.empty() && o.command != Command::Render && o.command != Command::Default) {
    error = "--frames belongs to render";
    return false;
  }
  return true;
}
