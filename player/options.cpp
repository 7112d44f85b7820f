#include "player/options.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <tuple>

#include "timeline/capture_plan.h"
#include "timeline/timeline.h"

namespace kandu {

namespace {

bool parseInt(const std::string &text, int64_t low, int64_t high, int64_t &value) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  value = std::stoll(text);
  return value >= low && value <= high;
}

bool parseSize(const std::string &text, int &w, int &h) {
  size_t x = text.find('x');
  int64_t wv = 0, hv = 0;
  if (x == std::string::npos || !parseInt(text.substr(0, x), 16, 8192, wv) || !parseInt(text.substr(x + 1), 16, 8192, hv))
    return false;
  w = static_cast<int>(wv);
  h = static_cast<int>(hv);
  return true;
}

// A mark's name where a time is expected: a word that starts with a letter or '_'.
bool isMarkName(const std::string &v) {
  if (v.empty() || v.size() > 64 || !(std::isalpha(static_cast<unsigned char>(v[0])) || v[0] == '_')) return false;
  for (char c : v)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
  return true;
}

struct Option {
  const char *name;
  const char *value;  // null: a flag
  const char *help;   // lines after the first are indented under it
  std::function<bool(Options &, const std::string &, std::string &)> set;
};

const std::vector<Option> &optionTable() {
  static const std::vector<Option> table = {
      {"--plugin", "PATH",
       "the plug-in to load (default: libkandu.so beside the player, else\n"
       "../lib/kandu/libkandu.so from the player's folder, as installed)",
       [](Options &o, const std::string &v, std::string &) { return o.pluginPath = v, true; }},
      {"--out", "PATH",
       "render: the video file (default out/kandu.mp4); still/sheet: the PNG file\n"
       "(default out/still.png, out/sheet.png); new: the timeline; -o for short",
       [](Options &o, const std::string &v, std::string &) { return o.outPath = v, true; }},
      {"--frames", "DIR", "render: write numbered PNG frames into DIR instead of a video",
       [](Options &o, const std::string &v, std::string &) { return o.framesDir = v, true; }},
      {"--part", "I/N",
       "render: only the I-th of N equal parts of the range's frames, without sound,\n"
       "each frame as in one render of the whole range (for a render farm)",
       [](Options &o, const std::string &v, std::string &error) {
         const size_t slash = v.find('/');
         int64_t i = 0, n = 0;
         if (slash == std::string::npos || !parseInt(v.substr(slash + 1), 1, 10000, n) ||
             !parseInt(v.substr(0, slash), 1, n, i)) {
           error = "--part wants I/N with 1 <= I <= N <= 10000, not '" + v.substr(0, 64) + "'";
           return false;
         }
         o.part = static_cast<int>(i);
         o.parts = static_cast<int>(n);
         return true;
       }},
      {"--sound-only", nullptr, "render: write only the range's sound, as a WAV file (--out, default out/kandu.wav)",
       [](Options &o, const std::string &, std::string &) { return o.soundOnly = true, true; }},
      {"--music", "FILE",
       "the soundtrack (WAV, FLAC, Ogg, Opus, MP3...): play plays it and follows it,\n"
       "render puts it in the video as AAC or beside the frames as DIR/audio.wav;\n"
       "overrides the timeline's 'music' line",
       [](Options &o, const std::string &v, std::string &) { return o.musicPath = v, true; }},
      {"--loop", nullptr, "play: start over at the end",
       [](Options &o, const std::string &, std::string &) { return o.loop = true, true; }},
      {"--fps", "N", "frames per second (default 60)",
       [](Options &o, const std::string &v, std::string &error) {
         int64_t n = 0;
         if (!parseInt(v, 1, 1000, n)) {
           error = "--fps wants a whole number from 1 to 1000, not '" + v + "'";
           return false;
         }
         o.fps = static_cast<int>(n);
         return true;
       }},
      {"--size", "WxH", "frame size (default 1024x768)",
       [](Options &o, const std::string &v, std::string &error) {
         if (parseSize(v, o.width, o.height)) return true;
         error = "--size wants WIDTHxHEIGHT, each 16 to 8192, not '" + v + "'";
         return false;
       }},
      {"--from", "MS", "the start of the range to render or play (default: the timeline's start);\n"
                        "--from, --to and --at also take a mark's name",
       [](Options &o, const std::string &v, std::string &error) {
         if (isMarkName(v)) return o.fromMark = v, true;
         return parseMilliseconds("--from", v, o.from, error);
       }},
      {"--to", "MS", "the end of that range (default: the timeline's end)",
       [](Options &o, const std::string &v, std::string &error) {
         if (isMarkName(v)) return o.toMark = v, true;
         return parseMilliseconds("--to", v, o.to, error);
       }},
      {"--at", "MS", "still: the moment to show",
       [](Options &o, const std::string &v, std::string &error) {
         if (isMarkName(v)) return o.atMark = v, true;
         return parseMilliseconds("--at", v, o.at, error);
       }},
      {"--port", "N", "edit: the studio's port on 127.0.0.1 (default: a free one)",
       [](Options &o, const std::string &v, std::string &error) {
         int64_t n = 0;
         if (!parseInt(v, 1, 65535, n)) {
           error = "--port wants a whole number from 1 to 65535, not '" + v + "'";
           return false;
         }
         o.port = static_cast<int>(n);
         return true;
       }},
      {"--no-browser", nullptr, "edit: print the editor's address but do not open a browser",
       [](Options &o, const std::string &, std::string &) { return o.noBrowser = true, true; }},
      {"--page", "DIR", "edit, export: the web pages (default: the web build beside the player)",
       [](Options &o, const std::string &v, std::string &) { return o.pageDir = v, true; }},
      {"--first-cut", nullptr, "new: also a first cut from the music: a scene and a mark per section,\n"
                               "pulses on the kicks",
       [](Options &o, const std::string &, std::string &) { return o.firstCut = true, true; }},
      {"--pulses", "WORDS", "new --first-cut: the pulse words laid on the kicks, by commas (default rotate)",
       [](Options &o, const std::string &v, std::string &error) {
         o.pulses.clear();
         for (size_t at = 0; at <= v.size();) {
           size_t end = v.find(',', at);
           if (end == std::string::npos) end = v.size();
           const std::string word = v.substr(at, end - at);
           if (!word.empty() && !isMarkName(word)) {
             error = "--pulses wants words separated by commas, not '" + v.substr(0, 64) + "'";
             return false;
           }
           if (!word.empty()) o.pulses.push_back(word);
           at = end + 1;
         }
         return true;
       }},
      {"--help", nullptr, "this text",
       [](Options &o, const std::string &, std::string &) { return o.help = true, true; }},
      {"--version", nullptr, "the player's version",
       [](Options &o, const std::string &, std::string &) { return o.version = true, true; }},
  };
  return table;
}

struct CommandName {
  const char *name;
  Command command;
  const char *help;
};
const CommandName kCommands[] = {
    {"render", Command::Render, "capture every frame to a video (MP4 through ffmpeg) or to PNG frames"},
    {"play", Command::Play, "play in a 1024x768 window in real time"},
    {"still", Command::Still, "write one PNG of one moment (--at)"},
    {"sheet", Command::Sheet, "write a contact sheet: one thumbnail per drawing block"},
    {"check", Command::Check, "check the timeline and print its blocks, one 'START END WORD' a line"},
    {"tempo", Command::Tempo, "print the 'tempo BPM OFFSET' line that fits MUSIC (the first downbeat's\n"
                              "offset in ms), and how sure it is; exit status 1 when it has no steady beat"},
    {"new", Command::New, "write a timeline for MUSIC: its music line and the tempo found in it\n"
                          "(--out TIMELINE, default MUSIC's name with .timeline)"},
    {"export", Command::Export, "write the timeline, its music and the player's page as one HTML file that\n"
                                "plays from the disk (--out, default TIMELINE's name with .html)"},
    {"edit", Command::Edit, "the studio: the editor in the browser, saving to TIMELINE, with the window\n"
                            "following it (the first line printed is the editor's address)"},
};

}  // namespace

std::string usageText() {
  auto column = [](std::string left, const char *help) {
    left = "  " + left;
    left.resize(18, ' ');
    std::string out;
    for (const char *line = help; *line;) {
      const char *end = std::strchr(line, '\n');
      size_t n = end ? static_cast<size_t>(end - line) : std::strlen(line);
      out += (out.empty() ? left : std::string(18, ' ')) + std::string(line, n) + "\n";
      line += n + (end ? 1 : 0);
    }
    return out;
  };
  // The usage lines name every command of the table: those of a timeline, then those of music.
  std::string onTimeline, onMusic;
  for (const CommandName &c : kCommands) {
    const bool music = c.command == Command::Tempo || c.command == Command::New;
    std::string &list = music ? onMusic : onTimeline;
    list += (list.empty() ? "" : "|") + std::string(c.name);
  }
  std::string text =
      "usage: kandu-player [" + onTimeline + "] [TIMELINE] [options]\n"
      "       kandu-player " + onMusic + " MUSIC [options]\n"
      "\n"
      "Plays the kandu intro in a window, or captures it frame-exactly without a display.\n"
      "\n"
      "commands:\n";
  for (const CommandName &c : kCommands) text += column(c.name, c.help);
  text += column("(none)", "play when a display is available, else render");
  text += "\n";
  text += column("TIMELINE",
                 "a timeline file (lines of 'START END WORD', a 'tempo BPM' line for times in\n"
                 "beats, 'every PERIOD until TIME' to repeat); without it, the built-in demo");
  text += "\noptions:\n";
  for (const Option &o : optionTable())
    text += column(std::string(o.name) + (o.value ? std::string(" ") + o.value : ""), o.help);
  text += column("--", "the arguments after it are names, also those that start with '-'");
  text += "\nplay keys: Space pause, Left/Right seek 5 s, Home restart, F full screen, Esc or Q quit\n";
  return text;
}

bool parseOptions(int argc, char **argv, Options &o, std::string &error) {
  bool sawCommand = false, onlyNames = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // After "--" every argument is a name, one that starts with a dash too.
    if (arg == "--" && !onlyNames) {
      onlyNames = true;
      continue;
    }
    const Option *option = nullptr;
    for (const Option &candidate : optionTable())
      if (!onlyNames && (arg == candidate.name || (arg == "-h" && std::strcmp(candidate.name, "--help") == 0) ||
                         (arg == "-o" && std::strcmp(candidate.name, "--out") == 0)))
        option = &candidate;
    if (option) {
      std::string value;
      if (option->value) {
        if (i + 1 >= argc) {
          error = "option " + arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (!option->set(o, value, error)) return false;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && !onlyNames) {
      error = "unknown option " + arg + " (a name that starts with '-' goes after --; see --help)";
      return false;
    }
    const CommandName *command = nullptr;
    for (const CommandName &c : kCommands)
      if (arg == c.name && !onlyNames) command = &c;
    if (command && !sawCommand && o.timelinePath.empty()) {
      sawCommand = true;
      o.command = command->command;
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
  if (o.command == Command::Still && o.at < 0 && o.atMark.empty()) {
    error = "still needs --at MS";
    return false;
  }
  if ((o.at >= 0 || !o.atMark.empty()) && o.command != Command::Still) {
    error = "--at belongs to still";
    return false;
  }
  if (o.firstCut && o.command != Command::New) {
    error = "--first-cut belongs to new";
    return false;
  }
  if ((o.port || o.noBrowser) && o.command != Command::Edit) {
    error = "--port and --no-browser belong to edit";
    return false;
  }
  if (!o.pageDir.empty() && o.command != Command::Edit && o.command != Command::Export) {
    error = "--page belongs to edit and export";
    return false;
  }
  if ((o.command == Command::Tempo || o.command == Command::New) && o.timelinePath.empty()) {
    error = std::string(o.command == Command::Tempo ? "tempo" : "new") + " needs a MUSIC file";
    return false;
  }
  if (o.command == Command::Export && o.timelinePath.empty()) {
    error = "export needs a TIMELINE";
    return false;
  }
  if (o.command == Command::Edit && o.timelinePath.empty()) {
    error = "edit needs a TIMELINE (a new file is made by the first save)";
    return false;
  }
  if ((o.parts || o.soundOnly) && o.command != Command::Render && o.command != Command::Default) {
    error = "--part and --sound-only belong to render";
    return false;
  }
  if (o.parts && o.soundOnly) {
    error = "--part renders frames without sound, --sound-only the sound without frames: give one";
    return false;
  }
  if (o.soundOnly && !o.framesDir.empty()) {
    error = "--sound-only writes no frames: give --out FILE.wav, not --frames";
    return false;
  }
  if (!o.framesDir.empty() && o.command != Command::Render && o.command != Command::Default) {
    error = "--frames belongs to render";
    return false;
  }
  return true;
}

bool resolveMarks(const Timeline &timeline, Options &o, std::string &error) {
  for (auto [name, ms, option] : {std::tuple<const std::string *, int64_t *, const char *>{&o.fromMark, &o.from, "--from"},
                                  {&o.toMark, &o.to, "--to"}, {&o.atMark, &o.at, "--at"}}) {
    if (name->empty()) continue;
    const Mark *mark = timeline.mark(*name);
    if (!mark) {
      std::string known;
      for (const Mark &m : timeline.marks) known += (known.empty() ? "" : ", ") + m.name;
      error = std::string(option) + ": the timeline has no mark '" + *name + "'" +
              (known.empty() ? " (it has no marks)" : " (its marks: " + known + ")");
      return false;
    }
    *ms = mark->ms;
  }
  if (o.from >= 0 && o.to >= 0 && o.to <= o.from) {
    error = "--to must be after --from";
    return false;
  }
  return true;
}

}  // namespace kandu
