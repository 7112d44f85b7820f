#include "studio/music.h"

#include <algorithm>
#include <cmath>

#include "timeline/timeline.h"

namespace kandu {

namespace {
// Whole peaks per piece decoded, so that a piece's peaks never straddle two pieces.
const int64_t kPieceFrames = kPeakFrames * 192;
}  // namespace

void appendPeaks(const float *stereo, int64_t frames, std::vector<float> &peaks) {
  for (int64_t at = 0; at < frames; at += kPeakFrames) {
    float lo = 0, hi = 0;
    for (int64_t i = at, end = std::min(frames, at + kPeakFrames); i < end; ++i) {
      const float v = (stereo[2 * i] + stereo[2 * i + 1]) * 0.5f;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    peaks.push_back(lo);
    peaks.push_back(hi);
  }
}

bool wavBytes(AudioSource &music, int64_t frames, size_t offset, size_t length, std::string &out, std::string &error) {
  out.clear();
  const std::string header = wavHeader(frames);
  const size_t total = header.size() + static_cast<size_t>(frames) * 4;
  const size_t end = std::min(total, offset + length);
  if (offset < header.size()) {
    out = header.substr(offset, end - offset);
    offset = header.size();
  }
  if (offset >= end) return true;
  // The frames covering [offset, end), a piece at most, cut to the bytes asked for.
  const int64_t first = static_cast<int64_t>((offset - header.size()) / 4);
  const int64_t last = std::min(frames, static_cast<int64_t>((end - header.size() + 3) / 4));
  const int64_t count = std::min(last - first, kPieceFrames);
  std::vector<float> piece(static_cast<size_t>(count) * kAudioChannels);
  if (!music.read(first, piece.data(), count, error)) return false;
  std::string pcm(piece.size() * 2, '\0');
  for (size_t i = 0; i < piece.size(); ++i) {
    const auto v = static_cast<int16_t>(std::lround(std::clamp(piece[i], -1.0f, 1.0f) * 32767.0f));
    pcm[2 * i] = static_cast<char>(static_cast<uint16_t>(v) & 0xff);
    pcm[2 * i + 1] = static_cast<char>(static_cast<uint16_t>(v) >> 8);
  }
  const size_t skip = (offset - header.size()) % 4;
  out += pcm.substr(skip, std::min(pcm.size() - skip, end - offset));
  return true;
}

StudioMusic::~StudioMusic() {
  wanted_ = ~uint64_t{0};
  for (std::thread &t : workers_) t.join();
}

void StudioMusic::use(const std::string &path) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The same music again is worked out again only when it did not open before (it may exist now).
  if (path == path_ && generation_ && (!result_ || result_->ok)) return;
  path_ = path;
  result_.reset();
  wanted_ = ++generation_;
  if (path.empty()) return;
  workers_.emplace_back(&StudioMusic::work, this, path, generation_);
}

std::string StudioMusic::path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

std::shared_ptr<const DecodedMusic> StudioMusic::get(std::chrono::milliseconds wait, bool whole) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait_for(lock, wait, [&] {
    return path_.empty() || (result_ && (result_->complete || (!whole && result_->frames > 0)));
  });
  if (!result_ || (!result_->complete && result_->frames == 0)) return nullptr;
  return std::make_shared<const DecodedMusic>(*result_);
}

void StudioMusic::work(std::string path, uint64_t generation) {
  std::unique_ptr<AudioSource> music;
  std::string error;
  const bool opened = openMusic(path, music, error);
  auto decoded = std::make_shared<DecodedMusic>();
  decoded->path = path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (generation != generation_) return;
    result_ = decoded;
    if (!opened) {
      decoded->ok = false;
      decoded->error = error;
      decoded->complete = true;
      done_.notify_all();
      return;
    }
  }
  // Decoded to its end, at most the longest timeline; given up when other music is wanted.
  const int64_t most = kMaxTimelineMs * kAudioRate / 1000;
  std::vector<float> piece(static_cast<size_t>(kPieceFrames) * kAudioChannels);
  std::vector<float> peaks;
  for (int64_t at = 0; wanted_ == generation; at += kPieceFrames) {
    const bool read = music->read(at, piece.data(), kPieceFrames, error);
    const int64_t end = music->endFrame();
    const int64_t n = !read ? 0 : end >= 0 ? std::max<int64_t>(0, std::min(kPieceFrames, end - at)) : kPieceFrames;
    peaks.clear();
    appendPeaks(piece.data(), n, peaks);
    std::lock_guard<std::mutex> lock(mutex_);
    decoded->peaks.insert(decoded->peaks.end(), peaks.begin(), peaks.end());
    decoded->frames = at + n;
    decoded->ok = read;
    if (!read) decoded->error = error;
    decoded->complete = !read || end >= 0 || decoded->frames >= most;
    done_.notify_all();
    if (decoded->complete) break;
  }
}

}  // namespace kandu
