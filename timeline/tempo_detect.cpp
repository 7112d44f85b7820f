#include "timeline/tempo_detect.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace kandu {

namespace {

const int kRate = 12000;        // the envelope's analysis rate
const int kWindow = 512;        // 42.7 ms
const int kHop = 128;           // 10.7 ms
const double kHopMs = 1000.0 * kHop / kRate;

// a * b, without the checks for infinities that std::complex's product makes (a call a product).
std::complex<double> times(std::complex<double> a, std::complex<double> b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// The spectrum of kWindow real samples: a complex FFT of half the length on the even and odd
// samples as real and imaginary parts, then split (bins 0 .. kWindow / 2 in `out`).
void realFft(const double *x, std::vector<std::complex<double>> &z, std::complex<double> *out) {
  const size_t n = kWindow / 2;
  static const std::vector<std::complex<double>> roots = [] {
    std::vector<std::complex<double>> r(kWindow / 2);
    for (size_t k = 0; k < r.size(); ++k) r[k] = std::polar(1.0, -2 * M_PI * static_cast<double>(k) / kWindow);
    return r;
  }();
  for (size_t i = 0; i < n; ++i) z[i] = {x[2 * i], x[2 * i + 1]};
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(z[i], z[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const size_t stride = kWindow / len;  // the roots of the full length, every stride-th
    for (size_t i = 0; i < n; i += len)
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = z[i + k], v = times(z[i + k + len / 2], roots[k * stride]);
        z[i + k] = u + v;
        z[i + k + len / 2] = u - v;
      }
  }
  for (size_t k = 0; k <= n; ++k) {
    const std::complex<double> a = z[k % n], b = std::conj(z[(n - k) % n]);
    const std::complex<double> even = 0.5 * (a + b), odd = std::complex<double>(0, -0.5) * (a - b);
    out[k] = even + times(k < n ? roots[k] : std::complex<double>(-1, 0), odd);
  }
}

// Three bands, each with an equal say whatever its share of the flux: the low one (to 190 Hz) where
// kicks are, the middle one (to 2 kHz), the high one where hi-hats put far more flux than a kick.
const size_t kBandEnds[] = {9, 86, kWindow / 2 + 1};

struct Envelope {
  std::vector<double> onset;  // spectral flux a frame, the bands weighted and summed
  std::vector<double> low;    // the low band's alone, normalised
  std::vector<double> level;  // each frame's RMS
};

Envelope envelope(const std::vector<double> (&bands)[3], const std::vector<double> &level) {
  Envelope e;
  e.level = level;
  e.onset.assign(bands[0].size(), 0.0);
  // The low band counts most: kicks and bass notes carry the beat, hi-hats its subdivisions.
  const double weights[3] = {2.0, 1.0, 0.5};
  for (int b = 0; b < 3; ++b) {
    const std::vector<double> &band = bands[b];
    double sum = 0;
    for (double v : band) sum += v;
    const double mean = sum / static_cast<double>(std::max<size_t>(1, band.size()));
    if (b == 0) e.low.assign(band.size(), 0.0);
    if (mean <= 0) continue;
    for (size_t i = 0; i < band.size(); ++i) {
      e.onset[i] += weights[b] * band[i] / mean;
      if (b == 0) e.low[i] = band[i] / mean;
    }
  }
  return e;
}

// The envelope at a fractional frame, linearly between frames.
double at(const std::vector<double> &e, double t) {
  const size_t i = static_cast<size_t>(t);
  if (i + 1 >= e.size()) return i < e.size() ? e[i] : 0.0;
  const double f = t - static_cast<double>(i);
  return e[i] * (1 - f) + e[i + 1] * f;
}

struct Fit {
  double score = -1e300, phase = 0, onBeats = 0;
};

// The best phase of a grid `period` frames apart from `from` on: the mean onset on its beats, and
// the mean half-way between them.
Fit bestPhase(const std::vector<double> &e, double period, size_t from, double phaseStep, size_t to = SIZE_MAX) {
  Fit best;
  const double end = static_cast<double>(std::min(to, e.size()));
  for (double phase = 0; phase < period; phase += phaseStep) {
    double on = 0, off = 0;
    int n = 0;
    for (double t = static_cast<double>(from) + phase; t + period / 2 < end; t += period) {
      on += at(e, t);
      off += at(e, t + period / 2);
      ++n;
    }
    if (n < 4) continue;
    if (on / n > best.score) best = {on / n, phase, off / n};
  }
  return best;
}

double periodOf(double bpm) { return 60000.0 / bpm / kHopMs; }


const double kLowestBpm = 50, kHighestBpm = 220, kBpmStep = 0.5;
const double kLeastStandout = 2.5, kLeastRecurrence = 0.12;

// How common a tempo is: a log-normal weight around 130 BPM, an octave wide.
double tempoPrior(double bpm) { return std::exp(-0.5 * std::pow(std::log2(bpm / 130.0), 2)); }

// The envelope's autocorrelation at lags 0 .. most-1 frames, its mean taken off, 1 at lag 0.
std::vector<double> autocorrelation(const std::vector<double> &e, size_t most) {
  double mean = 0;
  for (double v : e) mean += v;
  mean /= static_cast<double>(std::max<size_t>(1, e.size()));
  std::vector<double> a(most, 0.0);
  for (size_t lag = 0; lag < most && lag < e.size(); ++lag) {
    double sum = 0;
    for (size_t i = 0; i + lag < e.size(); ++i) sum += (e[i] - mean) * (e[i + lag] - mean);
    a[lag] = sum;
  }
  const double zero = a[0];
  if (zero > 0)
    for (double &v : a) v /= zero;
  return a;
}

// The autocorrelation at a fractional lag, the best within a frame either side.
double correlationNear(const std::vector<double> &a, double lag) {
  double best = -1;
  for (double d = -1; d <= 1; d += 1) best = std::max(best, at(a, std::max(0.0, lag + d)));
  return best;
}

}  // namespace

// The beat a listener taps. The best tempo, unless another that scores at least half as well is a
// beat the music divides in two and in four (its eighths and sixteenths recur more than average,
// and its eighths more than its triplets) and it is not: then that one, where it counts 1.6 times
// as much. A beat of three eighths -- the dotted figures of a bass line -- scores well on its own,
// but its quarter falls between the sixteenths; the beat it stands for divides evenly. Between a
// tempo and its double or half this does not decide (a fast beat of eighths divides in two as
// evenly as a slow one of sixteenths): there the best score stands.
BeatChoice chooseBeat(const std::vector<double> &scores, const std::vector<double> &a) {
  auto bpmAt = [](size_t i) { return kLowestBpm + kBpmStep * static_cast<double>(i); };
  auto even = [&a](double bpm) {
    const double period = periodOf(bpm), halves = correlationNear(a, period / 2);
    return halves > 0.05 && halves > correlationNear(a, period / 3) && correlationNear(a, period / 4) > 0.05;
  };
  // How well the music repeats after a beat, two and four (a bar): a shuffle's beat of three
  // triplets repeats there, the even beat of four triplets beside it does not.
  auto repeats = [&a](double bpm) {
    const double period = periodOf(bpm);
    return correlationNear(a, period) + correlationNear(a, 2 * period) + correlationNear(a, 4 * period);
  };
  const size_t top = static_cast<size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
  const double topRepeats = repeats(bpmAt(top));
  double first = -1, second = 0;
  BeatChoice choice;
  for (size_t i = 0; i < scores.size(); ++i) {
    const bool peak = (i == 0 || scores[i] >= scores[i - 1]) && (i + 1 == scores.size() || scores[i] >= scores[i + 1]);
    if (!peak || scores[i] <= 0.5 * scores[top]) continue;
    const double value = scores[i] * (even(bpmAt(i)) && repeats(bpmAt(i)) >= topRepeats ? 1.6 : 1.0);
    if (value > first) {
      second = std::max(0.0, first);
      first = value, choice.bpm = bpmAt(i);
    } else if (value > second) {
      second = value;
    }
  }
  choice.margin = first > 0 ? std::max(0.0, 1 - second / first) : 0;
  const double ratio = choice.bpm / bpmAt(top);
  if (std::abs(ratio - 2) < 0.06 || std::abs(ratio - 0.5) < 0.015) choice.bpm = bpmAt(top);
  return choice;
}

void realSpectrum(const double *x, std::complex<double> *out) {
  static_assert(kSpectrumSize == kWindow, "the detector's window");
  std::vector<std::complex<double>> z(kWindow / 2);
  realFft(x, z, out);
}

TempoDetector::TempoDetector(int rate)
    : rate_(rate), step_(static_cast<double>(std::max(rate, kRate)) / kRate), window_(kWindow),
      previous_(kWindow / 2 + 1, 0.0) {
  for (int i = 0; i < kWindow; ++i) window_[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(2 * M_PI * i / kWindow);
}

void TempoDetector::feed(const float *mono, size_t count) {
  pending_.insert(pending_.end(), mono, mono + count);
  fed_ += count;
  // Analysis sample k is the mean of the input samples from k * step on, up to the next one (a box
  // filter is enough for onsets).
  size_t used = 0;
  for (;;) {
    const double at = static_cast<double>(made_) * step_;
    if (at + step_ > static_cast<double>(fed_)) break;
    const size_t from = static_cast<size_t>(at), to = std::max(from + 1, static_cast<size_t>(at + step_));
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += pending_[i - decimatedBase_];
    x_.push_back(static_cast<float>(sum / static_cast<double>(to - from)));
    ++made_;
    used = to - decimatedBase_;
  }
  const size_t keep = std::min(used, static_cast<size_t>(static_cast<double>(made_) * step_) - decimatedBase_);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(keep));
  decimatedBase_ += keep;
  frames();
}

// The spectral flux of every whole window the analysis samples hold.
void TempoDetector::frames() {
  std::vector<std::complex<double>> z(kWindow / 2), spectrum(kWindow / 2 + 1);
  std::vector<double> windowed(kWindow), current(kWindow / 2 + 1);
  while (nextFrame_ + kWindow <= xBase_ + x_.size()) {
    const size_t start = nextFrame_ - xBase_;
    double energy = 0;
    for (size_t i = 0; i < kWindow; ++i) {
      windowed[i] = x_[start + i] * window_[i];
      energy += static_cast<double>(x_[start + i]) * x_[start + i];
    }
    realFft(windowed.data(), z, spectrum.data());
    double flux[3] = {0, 0, 0};
    for (size_t k = 1, band = 0; k <= kWindow / 2; ++k) {
      if (k >= kBandEnds[band]) ++band;
      const double re = spectrum[k].real(), im = spectrum[k].imag();
      current[k] = std::log(1.0f + 100.0f * std::sqrt(static_cast<float>(re * re + im * im)));
      if (nextFrame_ > 0) flux[band] += std::max(0.0, current[k] - previous_[k]);
    }
    for (int b = 0; b < 3; ++b) bands_[b].push_back(flux[b]);
    level_.push_back(std::sqrt(energy / kWindow));
    std::swap(current, previous_);
    // The spectrum to 1 kHz (bass and harmony), summed over kToneFrames frames.
    if (level_.size() % kToneFrames == 1) tone_.resize(tone_.size() + kToneBins, 0.0f);
    for (size_t k = 0; k < kToneBins; ++k) tone_[tone_.size() - kToneBins + k] += static_cast<float>(previous_[k + 1]);
    nextFrame_ += kHop;
  }
  const size_t drop = std::min(x_.size(), nextFrame_ - xBase_);
  x_.erase(x_.begin(), x_.begin() + static_cast<std::ptrdiff_t>(drop));
  xBase_ += drop;
}

void TempoDetector::toneOver(double from, double to, std::vector<float> &mean) const {
  const size_t groups = tone_.size() / kToneBins;
  const size_t a = static_cast<size_t>(std::max(0.0, std::ceil(from / kToneFrames)));
  const size_t b = std::min(groups, static_cast<size_t>(std::max(0.0, std::ceil(to / kToneFrames))));
  mean.assign(b > a ? kToneBins : 0, 0.0f);
  for (size_t g = a; g < b; ++g)
    for (size_t i = 0; i < kToneBins; ++i) mean[i] += tone_[g * kToneBins + i] / static_cast<float>(b - a);
}

TempoEstimate detectTempo(const float *mono, size_t count, int rate) {
  TempoDetector detector(rate);
  // Fed in pieces, as a worker feeds it.
  const size_t kPiece = 1 << 16;
  for (size_t at = 0; at < count; at += kPiece) detector.feed(mono + at, std::min(kPiece, count - at));
  return detector.finish();
}

TempoEstimate TempoDetector::finish() const {
  TempoEstimate out;
  if (rate_ < kRate || fed_ < static_cast<size_t>(rate_) * 4 || level_.empty()) {
    out.why = "too short to find a beat in (under 4 seconds)";
    return out;
  }
  const Envelope env = envelope(bands_, level_);
  const double loudest = *std::max_element(env.level.begin(), env.level.end());
  if (loudest < 1e-4) {
    out.why = "silence";
    return out;
  }
  // The music starts at its first frame within 40 dB of its loudest; the beat is looked for after.
  size_t start = 0;
  while (start < env.level.size() && env.level[start] < loudest * 0.01) ++start;
  // Onsets as a contrast: the flux above its local mean (half a second either side), normalised.
  std::vector<double> e(env.onset.size(), 0.0);
  const size_t half = 47;
  double sum = 0;
  std::vector<double> prefix(env.onset.size() + 1, 0.0);
  for (size_t i = 0; i < env.onset.size(); ++i) prefix[i + 1] = prefix[i] + env.onset[i];
  for (size_t i = 0; i < env.onset.size(); ++i) {
    const size_t a = i > half ? i - half : 0, b = std::min(env.onset.size(), i + half + 1);
    e[i] = std::max(0.0, env.onset[i] - (prefix[b] - prefix[a]) / static_cast<double>(b - a));
    sum += e[i];
  }
  const double mean = sum / static_cast<double>(e.size());
  if (mean <= 0) {
    out.why = "no onsets";
    return out;
  }
  for (double &v : e) v /= mean;

  // Every tempo, half a BPM apart, weighted towards the common ones (a log-normal prior around
  // 130 BPM, an octave wide).
  std::vector<double> scores;
  double bestScore = -1e300;
  // The coarse scan looks at ten seconds at a time, each with its own phase, on the envelope's
  // peaks widened by two frames: a tempo half a step off then still lines up within each piece.
  std::vector<double> wide(e.size());
  for (size_t i = 0; i < e.size(); ++i)
    wide[i] = *std::max_element(e.begin() + static_cast<std::ptrdiff_t>(i > 2 ? i - 2 : 0),
                                e.begin() + static_cast<std::ptrdiff_t>(std::min(e.size(), i + 3)));
  const size_t piece = static_cast<size_t>(10000 / kHopMs);
  for (double bpm = kLowestBpm; bpm <= kHighestBpm; bpm += kBpmStep) {
    Fit fit;
    fit.score = fit.onBeats = 0;
    int pieces = 0;
    for (size_t from = start; from + piece / 2 < wide.size(); from += piece, ++pieces) {
      const Fit part = bestPhase(wide, periodOf(bpm), from, 1.0, from + piece);
      if (part.score < -1e299) continue;
      fit.score += part.score;
      fit.onBeats += part.onBeats;
    }
    if (pieces > 0) fit.score /= pieces, fit.onBeats /= pieces;
    // Half the tempo has beats half-way between its own: what lies there counts against it (a
    // quarter: the back-beat of a groove lies there too, and must not send it to double time).
    const double raw = pieces == 0 ? 0 : fit.score - 1 - 0.25 * std::max(0.0, fit.onBeats - 1);
    scores.push_back(raw * tempoPrior(bpm));
    bestScore = std::max(bestScore, scores.back());
  }
  // How far the best stands out from the tempi in general.
  std::vector<double> sorted = scores;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double spread = std::max(1e-9, sorted[sorted.size() * 9 / 10] - median);
  const double standout = (bestScore - median) / spread;
  // Noise, speech, a lone click and notes at random moments have a best tempo too, but the
  // envelope does not recur at its beat or two: its autocorrelation there is at most 0.08 on the
  // sounds made for it, against 0.17 at the least on real songs with a beat (and their best tempo
  // stands out from the rest by 3.3 at the least, these sounds' by up to 3).
  const std::vector<double> a = autocorrelation(e, static_cast<size_t>(4 * periodOf(kLowestBpm)) + 3);
  const size_t top = static_cast<size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
  const double topPeriod = periodOf(kLowestBpm + kBpmStep * static_cast<double>(top));
  const double recurs = std::max(correlationNear(a, topPeriod), correlationNear(a, 2 * topPeriod));
  if (recurs < kLeastRecurrence || standout < kLeastStandout) {
    out.why = "no steady beat";
    return out;
  }
  const BeatChoice choice = chooseBeat(scores, a);
  const double bestBpm = choice.bpm;
  // Refined: a hundredth of a BPM, a quarter frame of phase.
  Fit best;
  double bpm = bestBpm;
  for (double b = bestBpm - 0.6; b <= bestBpm + 0.6; b += 0.01) {
    const Fit fit = bestPhase(e, periodOf(b), start, 0.25);
    if (fit.score > best.score) best = fit, bpm = b;
  }
  const double period = periodOf(bpm);
  // The flux of an onset peaks a little after the onset itself: the window has to take it in.
  // Half the window and a hop, measured on the songs made for it, less 5 ms: on real songs, whose
  // instruments start softer than a made click, the beats came out 9 ms late (5 to 13).
  const double kLatencyMs = 1000.0 * kWindow / kRate / 2 + kHopMs - 5;
  double first = static_cast<double>(start) + best.phase;
  while (first - period >= static_cast<double>(start) - period / 4) first -= period;
  // The downbeat: of the bar's four beats, the one the low band (kicks, bass notes) is strongest
  // on -- unless on another, nearly as strong (seven tenths), the bass and the harmony change from
  // the beat before by a fifth more: kicks on 1 and 3 alike leave the bar's start to its chords.
  double change[4] = {0, 0, 0, 0}, lowOn[4] = {0, 0, 0, 0};
  std::vector<float> before, now;
  int k = 0;
  for (double t = first; t < static_cast<double>(env.low.size()); t += period, ++k) {
    double peak = 0;  // the strongest within a frame either side
    for (double d = -1; d <= 1; d += 1) peak = std::max(peak, at(env.low, std::max(0.0, t + d)));
    lowOn[k % 4] += peak;
    toneOver(t, t + period, now);
    if (!before.empty() && !now.empty()) {
      double d2 = 0;
      for (size_t i = 0; i < kToneBins; ++i) d2 += (now[i] - before[i]) * (now[i] - before[i]);
      change[k % 4] += std::sqrt(d2);
    }
    std::swap(before, now);
  }
  const int strongLow = static_cast<int>(std::max_element(lowOn, lowOn + 4) - lowOn);
  int downbeat = strongLow;
  for (int i = 0; i < 4; ++i)
    if (lowOn[i] >= 0.7 * lowOn[strongLow] && change[i] > 1.2 * change[strongLow] && change[i] > change[downbeat]) downbeat = i;
  first += downbeat * period;
  out.steady = true;
  out.bpm = std::round(bpm * 100) / 100;
  out.firstBeatMs = std::max(0.0, first * kHopMs + kLatencyMs);
  // Sure when the beat stands out well above the least that counts and no other metrical level
  // comes close to it.
  out.confidence = std::min(std::clamp((standout - kLeastStandout) / 5.0, 0.0, 1.0),
                            std::clamp((recurs - kLeastRecurrence) / 0.3, 0.0, 1.0)) *
                   (0.5 + 0.5 * std::min(1.0, 4 * choice.margin));
  return out;
}

std::string howSure(double confidence) {
  char text[80];
  const long percent = std::lround(std::clamp(confidence, 0.0, 1.0) * 100);
  if (confidence >= 0.5) std::snprintf(text, sizeof text, "sure: %ld%%", percent);
  else std::snprintf(text, sizeof text, "unsure: %ld%%; its double or half may fit better", percent);
  return text;
}

std::string tempoLine(const TempoEstimate &estimate) {
  char line[64];
  std::snprintf(line, sizeof line, "tempo %.2f %lld", estimate.bpm,
                static_cast<long long>(std::llround(estimate.firstBeatMs)));
  return line;
}

bool musicNameFits(const std::string &musicName, std::string &why) {
  if (musicName.find('#') != std::string::npos) why = "'#' starts a comment in a timeline";
  else if (musicName.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) why = "it holds a line break or a NUL";
  else if (musicName.empty() || musicName.front() == ' ' || musicName.front() == '\t' || musicName.back() == ' ' ||
           musicName.back() == '\t')
    why = "a timeline drops the blanks at either end of a line";
  else
    return true;
  return false;
}

std::string newTimelineText(const std::string &musicName, const TempoEstimate &estimate) {
  std::string text = "# A new timeline: blocks are lines of 'START END WORD' (times in beats, as 4b, or ms).\n";
  std::string why;
  if (musicNameFits(musicName, why))
    text += "music " + musicName + "\n";
  else
    text += "# no music line: the music's name cannot be written in one (" + why + "); rename the file\n";
  if (estimate.steady) {
    text += tempoLine(estimate) + "   # found in the music (" + howSure(estimate.confidence) + ")\n";
  } else {
    text += "# no steady beat found (" + estimate.why + "): give one as 'tempo BPM OFFSET'\n";
  }
  return text;
}

TapFit fitTaps(const double *ms, size_t count) {
  TapFit fit;
  // The run: from the last gap of kTapGapMs or more.
  size_t from = 0;
  for (size_t i = 1; i < count; ++i)
    if (ms[i] - ms[i - 1] >= kTapGapMs || ms[i] <= ms[i - 1]) from = i;
  const size_t n = count - from;
  fit.taps = static_cast<int>(n);
  if (n < 4) return fit;
  // Least squares of ms = a + period * i over the run.
  double si = 0, st = 0, sii = 0, sit = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i), t = ms[from + i];
    si += x, st += t, sii += x * x, sit += x * t;
  }
  const double d = static_cast<double>(n) * sii - si * si;
  const double period = (static_cast<double>(n) * sit - si * st) / d;
  if (!(period > 0)) return fit;
  fit.ok = true;
  fit.bpm = std::round(6000000.0 / period) / 100;
  fit.firstMs = (st - period * si) / static_cast<double>(n);
  return fit;
}

double tapFirstBeatMs(double firstTapMusicMs, double firstTapClockMs, double fitFirstMs, double bpm) {
  const double period = 60000.0 / bpm, first = firstTapMusicMs + (fitFirstMs - firstTapClockMs);
  return std::fmod(std::fmod(first, period) + period, period);
}

}  // namespace kandu

