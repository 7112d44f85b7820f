#include "player/timeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "player/messages.h"

extern const char kDemoTimeline[];

namespace {
bool parseTime(const std::string &text, int64_t &value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  value = std::stoll(text);
  return value <= kMaxTimelineMs;
}

bool validWord(const std::string &word) {
  for (char c : word)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
  return !word.empty();
}
}  // namespace

int64_t Timeline::duration() const {
  int64_t end = 0;
  for (const Block &b : blocks)
    if (b.end > end) end = b.end;
  return end;
}

namespace {
// The tempo a timeline declares: times written in beats ("16b", "0.1b") are offset + beats × 60000
// / bpm milliseconds.
struct Tempo {
  double bpm = 0;
  int64_t offset = 0;
};

// A time in milliseconds or, with a tempo, in beats; spans (a repeat's period) take no offset.
// Kept unrounded, so that repeats do not drift when a beat is not a whole millisecond.
bool parseMoment(const std::string &text, const Tempo &tempo, bool span, double &ms, std::string &why) {
  if (text.size() > 1 && text.back() == 'b') {
    std::string number = text.substr(0, text.size() - 1);
    size_t dots = 0;
    bool digits = !number.empty() && number.size() <= 12 && number.front() != '.' && number.back() != '.';
    for (char c : number) {
      if (c == '.') ++dots;
      else if (!std::isdigit(static_cast<unsigned char>(c))) digits = false;
    }
    if (!digits || dots > 1) {
      why = "'" + printable(text) + "' is not a number of beats";
      return false;
    }
    if (tempo.bpm <= 0) {
      why = "'" + printable(text) + "' is in beats, but no 'tempo BPM' line comes before it";
      return false;
    }
    ms = (span ? 0.0 : static_cast<double>(tempo.offset)) + std::strtod(number.c_str(), nullptr) * 60000.0 / tempo.bpm;
  } else {
    int64_t whole = 0;
    if (!parseTime(text, whole)) {
      why = "'" + printable(text) + "' is not a time in milliseconds from 0 to " + std::to_string(kMaxTimelineMs) +
            " (or in beats, like 16b)";
      return false;
    }
    ms = static_cast<double>(whole);
  }
  if (ms > static_cast<double>(kMaxTimelineMs)) {
    why = "'" + printable(text) + "' is later than " + std::to_string(kMaxTimelineMs) + " ms";
    return false;
  }
  return true;
}

int64_t wholeMs(double ms) { return static_cast<int64_t>(std::llround(ms)); }
}  // namespace

bool parseTimeline(const std::string &text, const std::string &source, Timeline &out, std::string &error) {
  Timeline timeline;
  timeline.source = source;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  Tempo tempo;
  auto fail = [&](const std::string &why) {
    error = printable(source) + (number > 0 ? ":" + std::to_string(number) : std::string()) + ": " + why;
    return false;
  };
  while (std::getline(lines, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string w; fields >> w;) words.push_back(w);
    if (words.empty()) continue;
    if (words[0] == "tempo") {
      int64_t offset = 0;
      char *end = nullptr;
      double bpm = words.size() >= 2 && words[1].size() <= 12 ? std::strtod(words[1].c_str(), &end) : 0.0;
      bool bpmOk = end && *end == '\0' && std::isdigit(static_cast<unsigned char>(words[1][0])) && bpm > 0 &&
                   bpm <= 1000;
      if (words.size() < 2 || words.size() > 3 || !bpmOk || (words.size() == 3 && !parseTime(words[2], offset)))
        return fail("expected 'tempo BPM [OFFSET]': beats per minute above 0 and up to 1000, and an offset in "
                    "milliseconds");
      tempo = Tempo{bpm, offset};
      timeline.bpm = bpm;
      timeline.beatOffset = offset;
      continue;
    }
    if (words[0] == "music") {
      if (words.size() < 2) return fail("expected 'music PATH'");
      size_t at = line.find("music") + 5;
      std::string path = line.substr(line.find_first_not_of(" \t", at));
      path.erase(path.find_last_not_of(" \t\r") + 1);
      if (!timeline.music.empty()) return fail("a second 'music' line");
      timeline.music = path;
      continue;
    }
    bool repeats = words.size() == 7 && words[3] == "every" && words[5] == "until";
    if (words.size() != 3 && !repeats)
      return fail("expected 'START END WORD' or 'START END WORD every PERIOD until TIME', got " +
                  std::to_string(words.size()) + " field" + (words.size() == 1 ? "" : "s"));
    double start = 0, end = 0, period = 0, until = 0;
    std::string why;
    if (!parseMoment(words[0], tempo, false, start, why)) return fail("start " + why);
    if (!parseMoment(words[1], tempo, false, end, why)) return fail("end " + why);
    if (wholeMs(end) <= wholeMs(start))
      return fail("block ends at " + printable(words[1]) + ", not after its start " + printable(words[0]));
    if (!validWord(words[2]))
      return fail("effect word '" + printable(words[2]) + "' may hold only letters, digits, '_' and '-'");
    if (repeats) {
      if (!parseMoment(words[4], tempo, true, period, why)) return fail("period " + why);
      if (!parseMoment(words[6], tempo, false, until, why)) return fail("until " + why);
      if (period < 1.0) return fail("a repeat's period must be at least 1 ms");
      if (until <= start) return fail("a repeat must run until a time after its start");
    } else {
      until = start + 1;  // one copy
      period = 1;
    }
    // Copy k starts at start + k × period while that is before `until`, each as long as the first.
    for (int64_t k = 0; start + k * period < until; ++k) {
      if (timeline.blocks.size() == kMaxTimelineBlocks)
        return fail("more than " + std::to_string(kMaxTimelineBlocks) + " blocks");
      Block block;
      block.line = number;
      block.start = wholeMs(start + k * period);
      block.end = wholeMs(end + k * period);
      block.word = words[2];
      if (block.end > kMaxTimelineMs) return fail("a repeat runs past " + std::to_string(kMaxTimelineMs) + " ms");
      timeline.blocks.push_back(block);
    }
  }
  if (timeline.blocks.empty()) {
    number = 0;
    return fail("the timeline has no blocks");
  }
  // Every active block is drawn each frame: bound how many can play at one moment.
  std::vector<std::pair<int64_t, int>> edges;  // (time, +1 start / -1 end), with the line
  for (const Block &b : timeline.blocks) {
    edges.push_back({b.start, b.line});
    edges.push_back({b.end, -b.line});
  }
  std::sort(edges.begin(), edges.end(), [](const auto &a, const auto &b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;  // ends before starts
  });
  size_t active = 0;
  for (const auto &edge : edges) {
    if (edge.second < 0) {
      --active;
    } else if (++active > kMaxActiveBlocks) {
      number = edge.second;
      return fail("more than " + std::to_string(kMaxActiveBlocks) + " blocks play at " + std::to_string(edge.first) +
                  " ms");
    }
  }
  out = std::move(timeline);
  return true;
}

bool loadTimeline(const std::string &path, Timeline &out, std::string &error) {
  // O_NONBLOCK: a FIFO must not hang the open; only a regular file of a sane size is read.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = printable(path) + ": cannot open the timeline: " + std::strerror(errno);
    return false;
  }
  struct stat st{};
  std::string text;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    error = printable(path) + ": the timeline is not a regular file";
  } else if (st.st_size > static_cast<off_t>(kMaxTimelineBytes)) {
    error = printable(path) + ": the timeline is larger than " + std::to_string(kMaxTimelineBytes) + " bytes";
    ok = false;
  } else {
    // Read at most one byte past the limit, in case the file grew since fstat.
    char buffer[65536];
    ssize_t n;
    while (ok && (n = read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = printable(path) + ": cannot read the timeline: " + std::strerror(errno);
        ok = false;
      } else if (text.size() + static_cast<size_t>(n) > kMaxTimelineBytes) {
        error = printable(path) + ": the timeline is larger than " + std::to_string(kMaxTimelineBytes) + " bytes";
        ok = false;
      } else {
        text.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  if (!ok || !parseTimeline(text, path, out, error)) return false;
  // The music is named relative to the timeline file.
  size_t slash = path.rfind('/');
  if (!out.music.empty() && out.music[0] != '/' && slash != std::string::npos)
    out.music = path.substr(0, slash + 1) + out.music;
  return true;
}

const Timeline &builtInTimeline() {
  static const Timeline timeline = [] {
    Timeline t;
    std::string error;
    parseTimeline(kDemoTimeline, "<built-in demo>", t, error);
    return t;
  }();
  return timeline;
}

std::vector<BlockCall> scheduleAt(const Timeline &timeline, int64_t timeMs) {
  std::vector<BlockCall> calls;
  for (const Block &b : timeline.blocks) {
    if (timeMs < b.start || timeMs >= b.end) continue;
    calls.push_back({&b, std::to_string(timeMs), std::to_string(b.start) + "," + std::to_string(b.end), b.word});
  }
  return calls;
}

bool isDrawingWord(const std::string &word) {
  static const char *const kDrawing[] = {"cube_thing", "water_thing", "jumping_bars",
                                         "jumping_bars2", "morph", "cube_field"};
  for (const char *w : kDrawing)
    if (word == w) return true;
  return false;
}
