#include "player/song.h"

#include <sys/stat.h>

#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/printable.h"
#include "media/audio.h"
#include "media/pending.h"
#include "player/messages.h"
#include "player/signals.h"
#include "timeline/document.h"
#include "timeline/first_cut.h"

namespace kandu {

namespace {

std::string directoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string realPath(const std::string &path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

}  // namespace

bool findTempo(const std::string &music, TempoEstimate &estimate, std::string &error, std::vector<float> *mono12k) {
  std::unique_ptr<AudioSource> source;
  if (!openMusic(music, source, error)) return false;
  // The music is decoded a second at a time on a thread of its own while the detector takes in the
  // seconds before: on two cores the two take little more than the longer of them.
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::vector<float>> decoded;  // mono pieces not yet fed to the detector
  bool finished = false, failed = false;
  std::thread reader([&] {
    const int64_t kPiece = kAudioRate;
    const int64_t most = kMaxTimelineMs * kAudioRate / 1000;
    std::vector<float> stereo(static_cast<size_t>(kPiece) * kAudioChannels);
    std::string why;
    for (int64_t at = 0; at < most && !signals::stopRequested(); at += kPiece) {
      if (!source->read(at, stereo.data(), kPiece, why)) {
        std::lock_guard<std::mutex> hold(lock);
        failed = true, error = why;
        break;
      }
      const int64_t end = source->endFrame();
      const int64_t n = end >= 0 ? std::max<int64_t>(0, std::min(kPiece, end - at)) : kPiece;
      std::vector<float> mono(static_cast<size_t>(n));
      for (int64_t i = 0; i < n; ++i) mono[static_cast<size_t>(i)] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
      {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return decoded.size() < 4; });  // a few seconds ahead at most
        decoded.push_back(std::move(mono));
      }
      changed.notify_all();
      if (end >= 0) break;
    }
    std::lock_guard<std::mutex> hold(lock);
    finished = true;
    changed.notify_all();
  });
  TempoDetector detector(kAudioRate);
  for (;;) {
    std::vector<float> mono;
    {
      std::unique_lock<std::mutex> hold(lock);
      changed.wait(hold, [&] { return !decoded.empty() || finished; });
      if (decoded.empty()) break;
      mono = std::move(decoded.front());
      decoded.pop_front();
    }
    changed.notify_all();
    detector.feed(mono.data(), mono.size());
    if (mono12k)
      for (size_t i = 0; i + 4 <= mono.size(); i += 4)
        mono12k->push_back(0.25f * (mono[i] + mono[i + 1] + mono[i + 2] + mono[i + 3]));
  }
  reader.join();
  if (failed) return false;
  if (signals::stopRequested()) {
    error = "stopped";
    return false;
  }
  estimate = detector.finish();
  return true;
}

std::string musicNameFrom(const std::string &timelinePath, const std::string &musicPath) {
  // The folders are compared as the disk knows them; the music keeps the name it was given (a link
  // into the project is named as the link, not as the file it points at).
  const std::string timelineDir = realPath(directoryOf(timelinePath)), musicDir = realPath(directoryOf(musicPath));
  if (musicDir.empty()) return musicPath;
  const std::string name = musicPath.substr(musicPath.rfind('/') + 1);
  if (!timelineDir.empty() && musicDir == timelineDir) return name;
  return (musicDir == "/" ? "" : musicDir) + "/" + name;
}

int runTempo(const Options &o) {
  TempoEstimate estimate;
  std::string error;
  if (!findTempo(o.timelinePath, estimate, error)) {
    if (signals::stopRequested()) return -1;
    complain(error);
    return 2;
  }
  if (!estimate.steady) {
    complain(printable(o.timelinePath) + ": " +
             (estimate.why == "no steady beat" ? estimate.why : "no steady beat (" + estimate.why + ")"));
    return 1;
  }
  std::printf("%s\nconfidence %.2f\n", tempoLine(estimate).c_str(), estimate.confidence);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int runNew(const Options &o) {
  const std::string &music = o.timelinePath;
  std::string target = o.outPath;
  if (target.empty()) {
    const size_t slash = music.rfind('/'), dot = music.rfind('.');
    target = (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? music.substr(0, dot) : music) +
             ".timeline";
  }
  struct stat st{};
  if (stat(target.c_str(), &st) == 0) {
    complain(printable(target) + ": exists; give another name with --out (a timeline is never written over)");
    return 2;
  }
  const std::string musicName = musicNameFrom(target, music);
  std::string why;
  if (!musicNameFits(musicName, why)) {
    complain(printable(music) + ": a timeline's music line cannot name this file (" + why + "); rename it");
    return 2;
  }
  TempoEstimate estimate;
  std::string error;
  std::vector<float> mono12k;
  if (!findTempo(music, estimate, error, o.firstCut ? &mono12k : nullptr)) {
    if (signals::stopRequested()) return -1;
    complain(error);
    return 2;
  }
  std::string text = newTimelineText(musicName, estimate);
  if (o.firstCut && estimate.steady)
    text += firstCutLines(findSections(mono12k.data(), mono12k.size(), 12000, estimate), estimate, o.pulses);
  else if (o.firstCut)
    complain("no first cut without a steady beat: the timeline has its music line only");
  Timeline check;
  if (!parseTimeline(text, target, check, error)) {  // a music path the timeline cannot hold
    complain(error);
    return 2;
  }
  if (!writeWholeFile(target, text, error)) {
    complain(error);
    return 1;
  }
  complain("wrote " + printable(target) + (estimate.steady ? " (" + tempoLine(estimate) + ")" : " (no steady beat found)"));
  return 0;
}

}  // namespace kandu
