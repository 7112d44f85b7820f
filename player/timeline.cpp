#include "player/timeline.h"

#include <cctype>
#include <fstream>
#include <sstream>

extern const char kDemoTimeline[];

namespace {
bool parseTime(const std::string &text, int64_t &value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  value = std::stoll(text);
  return value <= 2147483647;
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
    error = source + (number > 0 ? ":" + std::to_string(number) : std::string()) + ": " + why;
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
    if (!parseTime(words[0], block.start)) return fail("start '" + words[0] + "' is not a time in milliseconds");
    if (!parseTime(words[1], block.end)) return fail("end '" + words[1] + "' is not a time in milliseconds");
    if (block.end <= block.start) return fail("block ends at " + words[1] + ", not after its start " + words[0]);
    if (!validWord(words[2])) return fail("effect word '" + words[2] + "' may hold only letters, digits, '_' and '-'");
    block.word = words[2];
    timeline.blocks.push_back(block);
  }
  if (timeline.blocks.empty()) {
    number = 0;
    return fail("the timeline has no blocks");
  }
  out = std::move(timeline);
  return true;
}

bool loadTimeline(const std::string &path, Timeline &out, std::string &error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open the timeline";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return parseTimeline(text.str(), path, out, error);
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
