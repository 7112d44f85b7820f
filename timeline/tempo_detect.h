// The tempo of music and where its first downbeat falls, found from the sound: an onset-strength
// envelope (spectral flux of the log spectrum in three bands, a frame every 10.7 ms), then every
// tempo from 50 to 220 BPM scored by how much more onset energy falls on its beats than between them
// (weighted towards common tempi), the beat a listener taps chosen among them (`chooseBeat`),
// refined to a hundredth of a BPM with its best phase; the first beat is the first one at the
// music's start, and the downbeat the beat of the bar where the bass and harmony change and the low
// band (kicks, bass) is strongest.
// Music whose best tempo stands out too little from the rest (noise, speech, a lone click) has no
// steady beat. For music of steady tempo; plain C++, so that the player and the web module share it.
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace kandu {

struct TempoEstimate {
  bool steady = false;      // false: no steady beat (`why` says what was found instead)
  double bpm = 0;
  double firstBeatMs = 0;   // the first downbeat at or after the music's start
  double confidence = 0;    // 0 .. 1: how far the best tempo stands out
  std::string why;
};

// The music fed a piece at a time (a worker reports its progress between pieces), the estimate
// at the end. Memory grows with the envelope (about 5 KB a second of music), not with the samples.
class TempoDetector {
 public:
  explicit TempoDetector(int rate);
  // `count` more mono samples at the rate given.
  void feed(const float *mono, size_t count);
  // The estimate from what was fed so far (more may be fed after: a first answer early on).
  TempoEstimate finish() const;
  size_t samplesFed() const { return fed_; }

 private:
  void frames();
  // The mean of the spectrum to 1 kHz over frames [from, to).
  void toneOver(double from, double to, std::vector<float> &mean) const;
  static const size_t kToneBins = 43, kToneFrames = 4;

  int rate_;
  double step_;                   // input samples per analysis sample
  size_t fed_ = 0;                // input samples fed
  size_t decimatedBase_ = 0;      // the input sample index of pending_[0]
  std::vector<float> pending_;    // input not yet decimated
  size_t made_ = 0;               // analysis samples made
  std::vector<float> x_;          // analysis samples not yet framed (x_[0] is sample xBase_)
  size_t xBase_ = 0, nextFrame_ = 0;
  std::vector<double> window_, previous_;
  std::vector<double> bands_[3], level_;
  std::vector<float> tone_;       // kToneBins a kToneFrames frames: the spectrum to 1 kHz, summed
};

// How the detector picks the beat a listener taps among the tempi it scored: `scores` for every
// tempo from 50 BPM up in steps of half a BPM, `autocorrelation` the onset envelope's by lag in its
// frames (128 / 12000 s apart; 1 at lag 0). `margin`: how far the runner-up falls short, 0 .. 1.
struct BeatChoice {
  double bpm = 0;
  double margin = 1;
};
BeatChoice chooseBeat(const std::vector<double> &scores, const std::vector<double> &autocorrelation);

// The spectrum of kSpectrumSize real samples, bins 0 .. kSpectrumSize / 2: the detector's FFT.
const size_t kSpectrumSize = 512;
void realSpectrum(const double *x, std::complex<double> *out);

// `mono`: `count` samples at `rate` Hz.
TempoEstimate detectTempo(const float *mono, size_t count, int rate);

// How sure the estimate is, in words for the user: "sure: 83%" from one half up, else "unsure: 24%;
// its double or half may fit better" (the commonest miss: the tempo a listener taps is an octave off).
std::string howSure(double confidence);
// "tempo 128.00 123": the line a timeline takes for `estimate` (BPM to two decimals, the first
// downbeat's offset in whole milliseconds).
std::string tempoLine(const TempoEstimate &estimate);
// Whether a `music NAME` line can name this file: false, with why, for a name a timeline would
// read as another (a '#', which starts a comment; a line break; a NUL; blanks at either end).
bool musicNameFits(const std::string &musicName, std::string &why);
// A new timeline for the music named `musicName` (as the timeline writes it): its music line and
// the tempo found, or a comment saying none was. A name that does not fit goes in a comment saying
// why, in place of the music line.
std::string newTimelineText(const std::string &musicName, const TempoEstimate &estimate);

// Tap tempo: the beat that fits taps at `ms` (in order), counting only the last run of taps less
// than kTapGapMs apart; at least four are needed.
const double kTapGapMs = 2000;
struct TapFit {
  bool ok = false;
  int taps = 0;          // in the run fitted
  double bpm = 0;        // to two decimals
  double firstMs = 0;    // the fitted time of the run's first tap
};
TapFit fitTaps(const double *ms, size_t count);
// Where taps made while the music played put the tempo line's first beat: the fit's first beat
// (on the taps' clock) carried to the music's time by the first tap's place in each, then folded
// into the first beat's length from 0 (an offset in [0, 60000 / bpm)).
double tapFirstBeatMs(double firstTapMusicMs, double firstTapClockMs, double fitFirstMs, double bpm);

}  // namespace kandu
