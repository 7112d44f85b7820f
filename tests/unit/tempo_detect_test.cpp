// The tempo detector on songs made at known tempi (a drum loop, a written score, a quiet intro, a
// swung one), and on what has no steady beat: each pinned to the tempo within 1% and the first
// downbeat within 20 ms, as the README's figures promise for most songs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/songs.h"
#include "timeline/tempo_detect.h"

namespace kandu {
namespace {

void expectFound(const std::vector<float> &sound, double bpm, double firstBeatMs, const std::string &what) {
  const TempoEstimate t = detectTempo(sound.data(), sound.size(), 48000);
  ASSERT_TRUE(t.steady) << what << ": " << t.why;
  EXPECT_NEAR(t.bpm, bpm, bpm * 0.01) << what;
  EXPECT_NEAR(t.firstBeatMs, firstBeatMs, 20.0) << what << " at " << t.bpm << " BPM";
  EXPECT_GT(t.confidence, 0.3) << what;
}

TEST(TempoDetect, FindsTheTempoAndTheFirstDownbeatOfSongsMadeAtKnownTempi) {
  songs::Song loop;
  loop.bpm = 128;
  loop.firstBeatMs = 250;
  loop.seconds = 30;
  expectFound(songs::make(loop), 128, 250, "a drum loop at 128 BPM");

  songs::Song swung = loop;
  swung.bpm = 96.37;
  swung.swing = 1.0 / 3;
  swung.firstBeatMs = 480;
  swung.seed = 9;
  expectFound(songs::make(swung), 96.37, 480, "a swung loop at 96.37 BPM");

  // A quiet intro of chords alone: the beat is found where the drums come in, and the first
  // downbeat is the intro's (four bars of 4 beats at 150 BPM before the drums: 6400 ms earlier).
  songs::Song intro = loop;
  intro.bpm = 150;
  intro.introBars = 4;
  intro.firstBeatMs = 6600;
  intro.seed = 4;
  expectFound(songs::make(intro), 150, 200, "a loop after a quiet intro");

  expectFound(songs::render(songs::score("disco", 118.5, 333, 3)), 118.5, 333, "a written disco score");

  // A song that starts on the third beat of a bar: the offset is the first downbeat, two beats in,
  // not the first beat heard (the bar's bass note changes on its first beat).
  for (double bpm : {120.0, 135.0}) {
    songs::Song whole = loop;
    whole.bpm = bpm;
    whole.firstBeatMs = 100;
    whole.seconds = 31;
    const std::vector<float> sound = songs::make(whole);
    const double beat = 60000.0 / bpm;
    const std::vector<float> pickup(sound.begin() + static_cast<std::ptrdiff_t>((100 + 2 * beat) * 48), sound.end());
    expectFound(pickup, bpm, 2 * beat, "a song from the third beat of a bar");
  }
}

// Speech-like sound: syllables of coloured noise, 60 to 300 ms long, at irregular moments, with
// pauses between phrases.
std::vector<float> speechLike(size_t n, uint32_t seed) {
  std::vector<float> x(n, 0.0f);
  uint32_t r = seed;
  auto uniform = [&r](double lo, double hi) { return r = r * 1664525u + 1013904223u, lo + (hi - lo) * (r >> 8) / 16777216.0; };
  for (size_t t = 0; t < n;) {
    const size_t length = static_cast<size_t>(uniform(0.06, 0.3) * 48000), smooth = static_cast<size_t>(uniform(2, 12));
    const double loudness = uniform(0.1, 0.5);
    double held = 0;
    for (size_t i = 0; i < length && t + i < n; ++i) {
      if (i % smooth == 0) held = uniform(-1, 1);
      x[t + i] = static_cast<float>(held * loudness * std::sin(M_PI * static_cast<double>(i) / static_cast<double>(length)));
    }
    t += length + static_cast<size_t>((uniform(0.03, 0.35) + (uniform(0, 1) < 0.15 ? uniform(0.2, 0.6) : 0)) * 48000);
  }
  return x;
}

// Notes without a pulse: plucked tones starting 0.1 to 1.2 s apart at random.
std::vector<float> notesWithoutPulse(size_t n, uint32_t seed) {
  std::vector<float> x(n, 0.0f);
  uint32_t r = seed;
  auto uniform = [&r](double lo, double hi) { return r = r * 1664525u + 1013904223u, lo + (hi - lo) * (r >> 8) / 16777216.0; };
  const double pitches[] = {220, 247, 262, 294, 330, 349, 392, 440};
  for (size_t t = 0; t < n; t += static_cast<size_t>(uniform(0.1, 1.2) * 48000)) {
    const double hz = pitches[static_cast<int>(uniform(0, 7.99))];
    const size_t length = static_cast<size_t>(uniform(0.2, 1.5) * 48000);
    for (size_t i = 0; i < length && t + i < n; ++i) {
      const double s = static_cast<double>(i) / 48000;
      x[t + i] += static_cast<float>(0.2 * std::sin(2 * M_PI * hz * s) * std::exp(-3 * s));
    }
  }
  return x;
}

TEST(TempoDetect, NoSteadyBeatInSilenceNoiseASingleClickSpeechOrNotesWithoutAPulse) {
  const size_t n = 48000 * 30;
  std::vector<float> quiet(n, 0.0f), noise(n), click(n, 0.0f);
  uint32_t r = 11;
  for (float &v : noise) r = r * 1664525u + 1013904223u, v = static_cast<float>((r >> 8) / 8388608.0 - 1.0) * 0.3f;
  for (int i = 0; i < 200; ++i) click[48000 * 7 + static_cast<size_t>(i)] = 0.8f;
  const TempoEstimate silent = detectTempo(quiet.data(), n, 48000);
  EXPECT_FALSE(silent.steady);
  EXPECT_EQ(silent.why, "silence");
  const std::vector<std::pair<const char *, std::vector<float>>> sounds = {
      {"noise", noise}, {"a click", click}, {"speech", speechLike(n, 1)}, {"more speech", speechLike(n, 2)},
      {"notes without a pulse", notesWithoutPulse(n, 3)}, {"other notes", notesWithoutPulse(n, 4)}};
  for (const auto &[what, sound] : sounds) {
    const TempoEstimate t = detectTempo(sound.data(), n, 48000);
    EXPECT_FALSE(t.steady) << what << ": " << t.bpm << " BPM, sure " << t.confidence;
    EXPECT_EQ(t.why, "no steady beat") << what;
  }
  const TempoEstimate brief = detectTempo(noise.data(), 48000 * 3, 48000);
  EXPECT_FALSE(brief.steady);
  EXPECT_EQ(brief.why, "too short to find a beat in (under 4 seconds)");
}

TEST(TempoDetect, WithKicksOn1And3AlikeTheDownbeatIsWhereTheChordsChange) {
  // Kick on 1 and 3, clap on 2 and 4, no melody: only the organ pad, a chord a bar, tells the bar's
  // first beat. The song starts on each of the bar's beats in turn.
  for (double bpm : {124.0, 140.0})
    for (int beatsIn = 0; beatsIn < 4; ++beatsIn) {
      songs::Score s;
      s.drums = {"K.h.S.h.K.h.S.h."};
      s.melody = "................";
      s.bpm = bpm;
      s.seconds = 40;
      const double beat = 60000 / bpm;
      s.firstBeatMs = 150 + (beatsIn ? beatsIn - 4 : 0) * beat;  // the first bar's start, before the song's
      const std::vector<float> sound = songs::render(s);
      const TempoEstimate t = detectTempo(sound.data(), sound.size(), 48000);
      EXPECT_NEAR(t.bpm, bpm, 0.05);
      EXPECT_NEAR(t.firstBeatMs, s.firstBeatMs + (beatsIn ? 4 : 0) * beat, 15) << bpm << " BPM, " << beatsIn << " beats in";
    }
}

// A kick on 1 alone, and chords that change on 3 (the pad half a bar early): the kick, far the
// strongest low beat, marks the bar; the chords do not move it.
TEST(TempoDetect, AKickOn1AloneOutweighsTheChords) {
  for (double bpm : {110.0, 140.0}) {
    songs::Score s;
    s.drums = {"K.h.S.h.h.h.S.h."};
    s.melody = "................";
    s.bpm = bpm;
    s.seconds = 40;
    s.firstBeatMs = 300;
    s.padBarsFirst = 0.5;
    const std::vector<float> sound = songs::render(s);
    const TempoEstimate t = detectTempo(sound.data(), sound.size(), 48000);
    EXPECT_NEAR(t.bpm, bpm, 0.05);
    EXPECT_NEAR(t.firstBeatMs, 300, 15) << bpm << " BPM";
  }
}

TEST(TempoDetect, FedInAnyPiecesAtAnyRateTheSameAnswer) {
  songs::Song loop;
  loop.bpm = 110;
  loop.firstBeatMs = 90;
  loop.seconds = 20;
  const std::vector<float> sound = songs::make(loop);
  const TempoEstimate whole = detectTempo(sound.data(), sound.size(), 48000);
  for (size_t piece : {1u, 441u, 48000u, 1000003u}) {
    TempoDetector detector(48000);
    for (size_t at = 0; at < sound.size(); at += piece) detector.feed(sound.data() + at, std::min(piece, sound.size() - at));
    const TempoEstimate t = detector.finish();
    EXPECT_EQ(detector.samplesFed(), sound.size());
    EXPECT_EQ(t.bpm, whole.bpm) << piece;
    EXPECT_EQ(t.firstBeatMs, whole.firstBeatMs) << piece;
  }
  // The same song at 44.1 kHz (every 48 kHz sample's nearest): the same tempo, the beat within 20 ms.
  std::vector<float> cd(sound.size() * 441 / 480);
  for (size_t i = 0; i < cd.size(); ++i) cd[i] = sound[std::min(sound.size() - 1, i * 480 / 441)];
  const TempoEstimate t = detectTempo(cd.data(), cd.size(), 44100);
  EXPECT_NEAR(t.bpm, 110, 1.1);
  EXPECT_NEAR(t.firstBeatMs, 90, 20);
}

}  // namespace
}  // namespace kandu

namespace kandu {
namespace {

TEST(TempoDetect, TapsFitTheirBeatAndTheLinesAreWrittenAsATimelineReadsThem) {
  // Taps about 500 ms apart, each off by 4 ms one way or the other; the least-squares line through
  // (i, t): slope (n * sum(i*t) - sum(i) * sum(t)) / (n * sum(i^2) - sum(i)^2).
  const double taps[] = {996, 1504, 1996, 2504};
  const TapFit fit = fitTaps(taps, 4);
  ASSERT_TRUE(fit.ok);
  EXPECT_EQ(fit.taps, 4);
  // sum i = 6, sum i^2 = 14, sum t = 7000, sum i*t = 0 + 1504 + 3992 + 7512 = 13008:
  // period = (4 * 13008 - 6 * 7000) / 20 = 501.6 ms → 119.617 BPM → 119.62; first = (7000 - 501.6 * 6) / 4.
  EXPECT_DOUBLE_EQ(fit.bpm, 119.62);
  EXPECT_NEAR(fit.firstMs, (7000 - 501.6 * 6) / 4, 1e-9);
  // Three taps are not enough; a gap of two seconds starts over, and so does a tap back in time.
  EXPECT_FALSE(fitTaps(taps, 3).ok);
  const double restarted[] = {0, 400, 800, 1200, 5000, 5500, 6000, 6500};
  EXPECT_EQ(fitTaps(restarted, 8).taps, 4);
  EXPECT_DOUBLE_EQ(fitTaps(restarted, 8).bpm, 120);
  EXPECT_DOUBLE_EQ(fitTaps(restarted, 8).firstMs, 5000);
  const double back[] = {0, 500, 1000, 1500, 900, 1400, 1900};
  EXPECT_EQ(fitTaps(back, 7).taps, 3);
  EXPECT_FALSE(fitTaps(back, 7).ok);

  TempoEstimate e;
  e.steady = true;
  e.bpm = 127.995;  // printed to two decimals, as the line holds it
  e.firstBeatMs = 310.5;
  e.confidence = 0.874;
  EXPECT_EQ(tempoLine(e), "tempo 128.00 311");
  EXPECT_EQ(newTimelineText("song.flac", e),
            "# A new timeline: blocks are lines of 'START END WORD' (times in beats, as 4b, or ms).\n"
            "music song.flac\n"
            "tempo 128.00 311   # found in the music (sure: 87%)\n");
  // Under a half, the user is told the commonest way it is wrong.
  e.confidence = 0.496;
  EXPECT_EQ(newTimelineText("song.flac", e).substr(103),
            "tempo 128.00 311   # found in the music (unsure: 50%; its double or half may fit better)\n");
  EXPECT_EQ(howSure(0.5), "sure: 50%");
  TempoEstimate none;
  none.why = "no steady beat";
  EXPECT_EQ(newTimelineText("noise.wav", none),
            "# A new timeline: blocks are lines of 'START END WORD' (times in beats, as 4b, or ms).\n"
            "music noise.wav\n"
            "# no steady beat found (no steady beat): give one as 'tempo BPM OFFSET'\n");
}

// Taps made while playing: at 120 BPM (beats of 500 ms) a fit whose first beat is 130 ms after the
// first tap on the taps' clock, the first tap made 10250 ms into the music: the beat falls at
// 10380 ms of the music, which is 380 ms into a beat; before 0 it folds from the other side.
TEST(TempoDetect, TapsWhilePlayingPutTheFirstBeatWhereTheMusicIs) {
  EXPECT_DOUBLE_EQ(tapFirstBeatMs(10250, 70000, 70130, 120), 380);
  EXPECT_DOUBLE_EQ(tapFirstBeatMs(10250, 70000, 69870, 120), 120);  // the fit 130 ms before the tap
  EXPECT_DOUBLE_EQ(tapFirstBeatMs(100, 5000, 4700, 120), 300);       // -200 ms of the music: 300 into a beat
  EXPECT_DOUBLE_EQ(tapFirstBeatMs(1000, 0, 0, 120), 0);              // on a beat
}

// A music line names any file a timeline can read back as that name; one it cannot (a '#', a line
// break, blanks at an end) goes in a comment, never as a line naming another file.
TEST(TempoDetect, AMusicLineNamesOnlyWhatItReadsBack) {
  std::string why;
  for (const char *fits : {"chanson-été.ogg", "a b 'q' \"d\".ogg", "100% & co.ogg", "-lead.ogg", "/abs/日本語.flac"})
    EXPECT_TRUE(musicNameFits(fits, why)) << fits;
  struct Case {
    std::string name, why;
  } misfits[] = {
      {"x#1.ogg", "'#' starts a comment in a timeline"},
      {"a\nb.ogg", "it holds a line break or a NUL"},
      {std::string("a\0b", 3), "it holds a line break or a NUL"},
      {" lead.ogg", "a timeline drops the blanks at either end of a line"},
      {"trail.ogg\t", "a timeline drops the blanks at either end of a line"},
      {"", "a timeline drops the blanks at either end of a line"},
  };
  for (const Case &c : misfits) {
    EXPECT_FALSE(musicNameFits(c.name, why)) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
  TempoEstimate e;
  e.steady = true;
  e.bpm = 120;
  e.firstBeatMs = 0;
  e.confidence = 0.5;
  const std::string text = newTimelineText("x#1.ogg", e);
  EXPECT_EQ(text, "# A new timeline: blocks are lines of 'START END WORD' (times in beats, as 4b, or ms).\n"
                  "# no music line: the music's name cannot be written in one ('#' starts a comment in a timeline); "
                  "rename the file\n"
                  "tempo 120.00 0   # found in the music (sure: 50%)\n");
}

}  // namespace
}  // namespace kandu

namespace kandu {
namespace {

// Tempo scores as the detector makes them (50 BPM up, half a BPM apart), zero but for a peak of
// `height` at each tempo given.
std::vector<double> peaks(std::initializer_list<std::pair<double, double>> at) {
  std::vector<double> scores(341, 0.0);
  for (const auto &[bpm, height] : at) scores[static_cast<size_t>((bpm - 50) * 2)] = height;
  return scores;
}

// An onset envelope's autocorrelation (by lag in frames of 128 / 12000 s) for music whose onsets
// fall on a grid `stepMs` apart: 0.5 within a frame of the grid's multiples, -0.1 elsewhere.
std::vector<double> onAGrid(double stepMs) {
  const double step = stepMs * 12000 / 128 / 1000;
  std::vector<double> a(60);
  for (size_t lag = 0; lag < a.size(); ++lag) {
    const double k = std::round(static_cast<double>(lag) / step);
    a[lag] = std::abs(static_cast<double>(lag) - k * step) <= 0.5 && k > 0 ? 0.5 : -0.1;
  }
  a[0] = 1;
  return a;
}

// The FFT against the DFT's definition: a cosine of amplitude 1 at bin 5 gives N/2 there, a sine
// of 0.5 at bin 37 gives -i N/4; a constant 1 gives N at bin 0, and (-1)^n gives N at bin N/2.
TEST(TempoDetect, TheSpectrumIsTheDiscreteFourierTransform) {
  const size_t n = kSpectrumSize;
  std::vector<double> x(n), flat(n, 1.0), alternating(n);
  for (size_t i = 0; i < n; ++i) {
    x[i] = std::cos(2 * M_PI * 5 * i / n) + 0.5 * std::sin(2 * M_PI * 37 * i / n);
    alternating[i] = i % 2 ? -1.0 : 1.0;
  }
  std::vector<std::complex<double>> out(n / 2 + 1);
  realSpectrum(x.data(), out.data());
  for (size_t k = 0; k <= n / 2; ++k) {
    const std::complex<double> want = k == 5 ? std::complex<double>(256, 0) : k == 37 ? std::complex<double>(0, -128) : 0.0;
    EXPECT_NEAR(out[k].real(), want.real(), 1e-9) << k;
    EXPECT_NEAR(out[k].imag(), want.imag(), 1e-9) << k;
  }
  realSpectrum(flat.data(), out.data());
  EXPECT_NEAR(out[0].real(), 512, 1e-9);
  EXPECT_NEAR(std::abs(out[1]), 0, 1e-9);
  realSpectrum(alternating.data(), out.data());
  EXPECT_NEAR(out[256].real(), 512, 1e-9);
  EXPECT_NEAR(std::abs(out[255]), 0, 1e-9);
}

TEST(TempoDetect, TheBeatChosenIsOneTheMusicDividesEvenly) {
  // Sixteenths at 192 BPM (78.125 ms). 128 BPM, a beat of three eighths, scores best, but its
  // quarter falls between the sixteenths; 192 and 96 divide in two and four; 192 scores more.
  BeatChoice c = chooseBeat(peaks({{96, 0.7}, {128, 1.0}, {192, 0.8}}), onAGrid(60000.0 / 192 / 4));
  EXPECT_EQ(c.bpm, 192);
  EXPECT_NEAR(c.margin, 1 - 0.7 / 0.8, 1e-9);  // the runner-up: 96, which counts 1.6 times too
  // Without a grid in the music, the best score stands.
  c = chooseBeat(peaks({{96, 0.7}, {128, 1.0}, {192, 0.8}}), std::vector<double>(60, 0.0));
  EXPECT_EQ(c.bpm, 128);
  EXPECT_NEAR(c.margin, 0.2, 1e-9);
  // Tempi under half the best score are not candidates, not even as the runner-up.
  c = chooseBeat(peaks({{128, 1.0}, {192, 0.45}}), onAGrid(60000.0 / 192 / 4));
  EXPECT_EQ(c.bpm, 128);
  EXPECT_EQ(c.margin, 1);
  // Eighths at 140 BPM alone: 70 BPM divides into them in two and four and 140 does not, but a
  // tempo and its half are not told apart this way -- the best score, 140, stands.
  c = chooseBeat(peaks({{70, 0.9}, {140, 1.0}}), onAGrid(60000.0 / 140 / 2));
  EXPECT_EQ(c.bpm, 140);
  // Triplets: a beat whose thirds recur more than its halves does not count as even.
  c = chooseBeat(peaks({{100, 1.0}, {150, 0.9}}), onAGrid(60000.0 / 100 / 3));
  EXPECT_EQ(c.bpm, 100);
  // 100 BPM (a beat of 56.25 frames) whose halves (lag 28), thirds (19) and quarters (14) all
  // recur, its thirds most: a triplet feel, not even; 170, whose halves do not recur, keeps its
  // better score.
  std::vector<double> triplets(60, -0.1);
  triplets[0] = 1, triplets[28] = 0.3, triplets[19] = 0.5, triplets[14] = 0.3;
  c = chooseBeat(peaks({{100, 0.9}, {170, 1.0}}), triplets);
  EXPECT_EQ(c.bpm, 170);
}

TEST(TempoDetect, AnEvenBeatReplacesTheBestOnlyWhereTheMusicRepeatsAtItAsWell) {
  // A shuffle at 135 BPM: a beat of 41.67 frames in three triplets (13.89). It repeats after a
  // beat, two and four (lags 41.67, 83.33, 166.67). 101 BPM (55.69 frames) is four triplets: its
  // halves (27.85) and quarters (13.92) recur, its thirds (18.56) do not, so it divides evenly,
  // and 0.9 * 1.6 would beat 1.0 -- but the music does not repeat after its beat, two or four.
  std::vector<double> shuffle(240, -0.1);
  shuffle[0] = 1;
  auto set = [](std::vector<double> &a, size_t from, size_t to, double v) {
    for (size_t lag = from; lag <= to; ++lag) a[lag] = v;
  };
  set(shuffle, 13, 15, 0.1);
  set(shuffle, 27, 29, 0.25);
  set(shuffle, 41, 43, 0.3);
  set(shuffle, 82, 84, 0.6);
  set(shuffle, 166, 168, 0.7);
  BeatChoice c = chooseBeat(peaks({{101, 0.9}, {135, 1.0}}), shuffle);
  EXPECT_EQ(c.bpm, 135);
  EXPECT_NEAR(c.margin, 0.1, 1e-9);
  // The same, where the music repeats after 101's beat, two and four as well (0.6 each, 1.8 in all
  // against 135's 1.6): a funk figure of three sixteenths over a beat of four. 101 takes it.
  std::vector<double> funk = shuffle;
  set(funk, 54, 57, 0.6);
  set(funk, 110, 113, 0.6);
  set(funk, 221, 224, 0.6);
  c = chooseBeat(peaks({{101, 0.9}, {135, 1.0}}), funk);
  EXPECT_EQ(c.bpm, 101);
  EXPECT_NEAR(c.margin, 1 - 1.0 / 1.44, 1e-9);
  // A little less is not enough: 101's at 0.55 + 0.5 + 0.5 = 1.55.
  set(funk, 54, 57, 0.55);
  set(funk, 110, 113, 0.5);
  set(funk, 221, 224, 0.5);
  EXPECT_EQ(chooseBeat(peaks({{101, 0.9}, {135, 1.0}}), funk).bpm, 135);
}

}  // namespace
}  // namespace kandu
