// The waveform's peaks, on signals whose extremes are known.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { columnPeak, computePeaks, withCoarse } from '../../../web/page/editor/waveform.js';

test('peaks are the extremes of the channels\' mean over 256 samples, and over 4096', () => {
  // 256 samples at 0.5 on both channels, then 256 with -1 on the left and 0 on the right.
  const left = new Float32Array(600), right = new Float32Array(600);
  left.fill(0.5, 0, 256);
  right.fill(0.5, 0, 256);
  left.fill(-1, 256, 512);
  left[599] = 1;  // the third peak holds one sample of 0.5 mean
  const p = computePeaks([left, right], 1000);
  assert.deepEqual(Array.from(p.levels[0].peaks), [0, 0.5, -0.5, 0, 0, 0.5]);
  assert.deepEqual(Array.from(p.levels[1].peaks), [-0.5, 0.5]);
  // One channel is its own mean.
  assert.deepEqual(Array.from(computePeaks([right], 1000).levels[0].peaks), [0, 0.5, 0, 0, 0, 0]);
});

test('a column takes the peaks under it, from the coarse level when it covers two of them', () => {
  const samples = new Float32Array(20000);
  samples[300] = 0.25;   // in fine peak 1
  samples[9000] = -0.75; // in fine peak 35, coarse peak 2
  const p = computePeaks([samples], 1000);  // a sample a millisecond
  assert.deepEqual(columnPeak(p, 0, 100), { lo: 0, hi: 0 });
  assert.deepEqual(columnPeak(p, 256, 600), { lo: 0, hi: 0.25 });
  // 8192 samples a column or more: the coarse level, whose peak 2 covers 8192..12287.
  assert.deepEqual(columnPeak(p, 8192, 16384), { lo: -0.75, hi: 0 });
  // Coarse peaks are whole: a column from 12000 to 20192 takes coarse peaks 2 and 3, so it shows
  // the -0.75 at 9000 that its fine peaks (11776 on) would not.
  assert.deepEqual(columnPeak(p, 12000, 20192), { lo: -0.75, hi: 0 });
  assert.deepEqual(columnPeak(p, 12000, 12300), { lo: 0, hi: 0 }, 'narrower: from the fine peaks');
  assert.equal(columnPeak(p, 30000, 31000), null, 'after the music');
  assert.equal(columnPeak(p, -500, -100), null, 'before it');
});

test('each set of peaks has a serial of its own, which the lanes redraw on', () => {
  const one = withCoarse(new Float32Array([-0.5, 0.5]), 48000, 256);
  const again = withCoarse(new Float32Array([-0.5, 0.5]), 48000, 256);
  assert.notEqual(again.serial, one.serial);
  assert.equal(again.serial, one.serial + 1);
});
