#include "player/timeline_file.h"

#include "media/files.h"
#include "timeline/document.h"

namespace kandu {

bool readTimelineFile(const std::string &path, std::string &text, std::string &error) {
  return readRegularFile(path, "timeline", kMaxTimelineBytes, text, error);
}

bool loadTimeline(const std::string &path, Timeline &out, std::string &error) {
  std::string text;
  if (!readTimelineFile(path, text, error) || !parseTimeline(text, path, out, error)) return false;
  resolveMusic(path, out);
  return true;
}

void resolveMusic(const std::string &path, Timeline &timeline) {
  size_t slash = path.rfind('/');
  if (!timeline.music.empty() && timeline.music[0] != '/' && slash != std::string::npos)
    timeline.music = path.substr(0, slash + 1) + timeline.music;
}

}  // namespace kandu
