#include "player/timeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

bool parseTimeline(const std::string &text, const std::string &source, Timeline &out, std::string &error) {
  Timeline timeline;
  timeline.source = source;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
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
    if (words.size() != 3)
      return fail("expected 'START END WORD' (milliseconds and an effect word), got " + std::to_string(words.size()) +
                  " field" + (words.size() == 1 ? "" : "s"));
    Block block;
    block.line = number;
    const std::string range = " is not a time in milliseconds from 0 to " + std::to_string(kMaxTimelineMs);
    if (!parseTime(words[0], block.start)) return fail("start '" + printable(words[0]) + "'" + range);
    if (!parseTime(words[1], block.end)) return fail("end '" + printable(words[1]) + "'" + range);
    if (block.end <= block.start) return fail("block ends at " + words[1] + ", not after its start " + words[0]);
    if (!validWord(words[2]))
      return fail("effect word '" + printable(words[2]) + "' may hold only letters, digits, '_' and '-'");
    if (timeline.blocks.size() == kMaxTimelineBlocks)
      return fail("more than " + std::to_string(kMaxTimelineBlocks) + " blocks");
    block.word = words[2];
    timeline.blocks.push_back(block);
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
  return ok && parseTimeline(text, path, out, error);
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
