// The editor's tempo by hand, with the module's rules stood in for: what each of ×2, ÷2, a nudge,
// a drag and the taps writes into the tempo line, and where taps while playing put the first beat.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Tempo } from '../../../web/page/editor/tempo.js';

function editor({ tempo = { bpm: 120, offset: 250 }, playing = false, position = 0 } = {}) {
  const shown = {};
  const $ = (id) => (shown[id] = shown[id] || { hidden: true, textContent: '' });
  const written = [], firstBeats = [];
  const ed = {
    $, said: [], refreshed: 0,
    say: (t) => ed.said.push(t),
    view: { selected: new Set([3]), playing },
    transport: { position: () => position },
    refresh: () => { ed.refreshed++; },
    kandu: {
      docTempo: () => tempo,
      // Least squares as the module fits them, for evenly spaced taps: period from the ends.
      tapTempo: (times) => {
        const n = times.length, period = (times[n - 1] - times[0]) / (n - 1);
        return n < 4 ? { ok: false, taps: n } : { ok: true, bpm: Math.round(6000000 / period) / 100, firstMs: times[0], taps: n };
      },
      // The first beat's rule is the timeline library's (its own tests): here, what the page asks.
      tapFirstBeat: (musicMs, clockMs, firstMs, bpm) => { firstBeats.push([musicMs, clockMs, firstMs, bpm]); return 120; },
      // The line as the timeline library writes it (its own tests).
      tempoLine: (bpm, ms) => 'tempo ' + bpm.toFixed(2) + ' ' + Math.round(ms),
    },
    doc: {
      error: '',
      gesture: (edit, before, after, mergeKey) => {
        edit({ setTempo: (bpm, offset) => written.push({ bpm, offset, mergeKey, before, after }) });
        return true;
      },
    },
  };
  return { ed, written, shown, firstBeats, setPosition: (ms) => { position = ms; } };
}

test('×2, ÷2 and a nudge write the tempo line once each, keeping the selection', () => {
  const { ed, written } = editor();
  const tempo = new Tempo(ed);
  tempo.scale(2);
  tempo.scale(0.5);
  tempo.nudge(-5);
  assert.deepEqual(written.map(({ bpm, offset }) => [bpm, offset]), [[240, 250], [60, 250], [120, 245]]);
  assert.deepEqual(written[0].before, [3]);
  assert.equal(written[0].mergeKey, null);
  assert.equal(ed.refreshed, 3);
  // A BPM that does not halve to two decimals is written as the line holds it.
  const odd = editor({ tempo: { bpm: 127.99, offset: 0 } });
  new Tempo(odd.ed).scale(0.5);
  assert.equal(odd.written[0].bpm, 64);
  // No tempo line: nothing written, a word said.
  const none = editor({ tempo: null });
  new Tempo(none.ed).scale(2);
  assert.deepEqual(none.written, []);
  assert.match(none.ed.said[0], /no tempo line/);
});

test('a drag of the first beat is one step of the history, however many moves', () => {
  const { ed, written } = editor();
  const tempo = new Tempo(ed);
  tempo.dragStart();
  tempo.dragTo(300.4);
  tempo.dragTo(-20);  // never before the start
  assert.deepEqual(written.map((w) => w.offset), [300, 0]);
  assert.ok(written[0].mergeKey && written[0].mergeKey === written[1].mergeKey);
  tempo.dragStart();
  tempo.dragTo(10);
  assert.notEqual(written[2].mergeKey, written[1].mergeKey);
});

test('taps propose their tempo; while playing, their place in the music gives the first beat', () => {
  const paused = editor();
  const t = new Tempo(paused.ed);
  for (const stamp of [1000, 1500, 2000]) t.tap(stamp);
  assert.equal(paused.shown['tempo-state'].textContent, 'tap: 3 of 4');
  t.tap(2500);
  assert.equal(paused.shown['tempo-proposal'].hidden, false);
  assert.match(paused.shown['tempo-proposal-text'].textContent, /tap: 120\.00 BPM \(4 taps\) → tempo 120\.00 250$/);
  t.accept();
  assert.deepEqual(paused.written.map(({ bpm, offset }) => [bpm, offset]), [[120, 250]]);

  // Playing: taps at 10,120 ms of the music and every 500 ms on: the beat falls at 120 ms.
  const playing = editor({ playing: true });
  const p = new Tempo(playing.ed);
  [0, 1, 2, 3, 4].forEach((i) => {
    playing.setPosition(10120 + i * 500);
    p.tap(70000 + i * 500);
  });
  p.accept();
  // The module is asked with the first tap's place in the music and on the clock, and the fit.
  assert.deepEqual(playing.firstBeats.at(-1), [10120, 70000, 70000, 120]);
  assert.deepEqual(playing.written.map(({ bpm, offset }) => [bpm, offset]), [[120, 120]]);
  assert.equal(paused.firstBeats.length, 0, 'paused taps keep the offset the line has');

  // A pause of two seconds starts the taps over.
  const again = editor();
  const a = new Tempo(again.ed);
  for (const stamp of [0, 500, 1000, 1500, 5000]) a.tap(stamp);
  assert.equal(a.taps.length, 1);
});

test('a long song\'s first estimate is proposed at once, then the whole song\'s in its place, in the module\'s words', async () => {
  const { ed, shown } = editor({ tempo: { bpm: 120, offset: 250 } });
  ed.kandu.howSure = (c) => (c >= 0.5 ? 'sure ' : 'unsure ') + c;
  const tempo = new Tempo(ed);
  const seen = [];
  tempo.detect = async (buffer, cut, early) => {
    early({ steady: true, bpm: 131.5, firstBeatMs: 90.4, confidence: 0.3 });
    seen.push(shown['tempo-proposal-text'].textContent);
    return { steady: true, bpm: 132, firstBeatMs: 100, confidence: 0.7 };
  };
  await tempo.proposeFromMusic({});
  assert.deepEqual(seen, ['found in the first seconds, refining (unsure 0.3) → tempo 131.50 90']);
  assert.equal(shown['tempo-proposal-text'].textContent, 'found in the music (sure 0.7) → tempo 132.00 100');
  assert.equal(shown['tempo-proposal'].hidden, false);
  assert.deepEqual(tempo.proposal, { bpm: 132, offset: 100 });

  // The whole song's equals the document's line: the first proposal goes, nothing is offered.
  tempo.detect = async (buffer, cut, early) => {
    early({ steady: true, bpm: 119, firstBeatMs: 250, confidence: 0.9 });
    return { steady: true, bpm: 120, firstBeatMs: 250.4, confidence: 0.9 };
  };
  await tempo.proposeFromMusic({});
  assert.equal(shown['tempo-proposal'].hidden, true);
  assert.equal(tempo.proposal, null);

  // No beat: said so, with why, and nothing offered.
  tempo.detect = async () => ({ steady: false, why: 'no steady beat' });
  await tempo.proposeFromMusic({});
  assert.equal(ed.said.at(-1), 'no steady beat found in the music (no steady beat)');
  assert.equal(shown['tempo-proposal'].hidden, true);
});
