// The music's waveform under the lanes: peaks worked out once per music, at two resolutions, then
// drawn a pixel column at a time.

const kFine = 256, kCoarse = 16;  // samples per fine peak; fine peaks per coarse one

let serial = 0;

// The lowest and highest value of the channels' mean over every `kFine` samples, and over every
// `kCoarse` of those. `channels`: one or two arrays of samples; `rate`: samples per second.
export function computePeaks(channels, rate) {
  const data = channels[0], other = channels.length > 1 ? channels[1] : data;
  const fine = Math.ceil(data.length / kFine), peaks = new Float32Array(fine * 2);
  for (let p = 0; p < fine; ++p) {
    let lo = 0, hi = 0;
    for (let i = p * kFine, end = Math.min(data.length, i + kFine); i < end; ++i) {
      const v = (data[i] + other[i]) * 0.5;
      if (v < lo) lo = v; else if (v > hi) hi = v;
    }
    peaks[2 * p] = lo;
    peaks[2 * p + 1] = hi;
  }
  return withCoarse(peaks, rate, kFine);
}

// The two levels from fine peaks ({lo, hi} pairs every `per` samples at `rate`): the coarse one
// takes the extremes of every kCoarse of them.
export function withCoarse(peaks, rate, per) {
  const fine = peaks.length / 2, coarse = Math.ceil(fine / kCoarse), coarsePeaks = new Float32Array(coarse * 2);
  for (let p = 0; p < coarse; ++p) {
    let lo = 0, hi = 0;
    for (let i = p * kCoarse; i < Math.min(fine, p * kCoarse + kCoarse); ++i) {
      lo = Math.min(lo, peaks[2 * i]);
      hi = Math.max(hi, peaks[2 * i + 1]);
    }
    coarsePeaks[2 * p] = lo;
    coarsePeaks[2 * p + 1] = hi;
  }
  return { rate, serial: ++serial, levels: [{ per, peaks }, { per: per * kCoarse, peaks: coarsePeaks }] };
}

// The extremes under the pixel column from `fromMs` to `toMs`, from the coarse peaks when a column
// covers two coarse peaks or more; null for a column outside the music.
export function columnPeak(peaks, fromMs, toMs) {
  const samplesPerColumn = (toMs - fromMs) * peaks.rate / 1000;
  const level = samplesPerColumn >= peaks.levels[1].per * 2 ? peaks.levels[1] : peaks.levels[0];
  const count = level.peaks.length / 2;
  const from = Math.floor(fromMs * peaks.rate / 1000 / level.per);
  const to = Math.max(from + 1, Math.floor(toMs * peaks.rate / 1000 / level.per));
  if (to <= 0 || from >= count) return null;
  let lo = 0, hi = 0;
  for (let p = Math.max(0, from); p < Math.min(count, to); ++p) {
    lo = Math.min(lo, level.peaks[2 * p]);
    hi = Math.max(hi, level.peaks[2 * p + 1]);
  }
  return { lo, hi };
}

// Draws the waveform across `width` columns, column x covering msOf(x) to msOf(x + 1).
export function drawWaveform(g, peaks, width, height, msOf) {
  if (!peaks) return;
  const mid = height / 2, scale = height / 2 - 4;
  g.fillStyle = 'rgba(90,140,200,0.35)';
  for (let x = 0; x < width; ++x) {
    const column = columnPeak(peaks, msOf(x), msOf(x + 1));
    if (column) g.fillRect(x, mid - column.hi * scale, 1, Math.max(1, (column.hi - column.lo) * scale));
  }
}
