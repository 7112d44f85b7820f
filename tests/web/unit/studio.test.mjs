// The page's side of the studio: the studio's peaks made into the waveform's two levels, the
// revisions sent to the window, and what a change on the disk does to a clean or an edited page.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { computePeaks } from '../../../web/page/editor/waveform.js';
import { Studio, nextRevision, peaksFromStudio } from '../../../web/page/editor/studio.js';

test('the studio\'s fine peaks give the levels the page works out from the samples', () => {
  // 5,000 samples of one channel: 0.25 rising by steps; the studio's fine peaks of the same, by hand.
  const samples = new Float32Array(5000);
  for (let i = 0; i < samples.length; ++i) samples[i] = ((i % 700) - 350) / 1000;
  const fine = new Float32Array(2 * Math.ceil(5000 / 256));
  for (let p = 0; p < fine.length / 2; ++p) {
    let lo = 0, hi = 0;
    for (let i = p * 256; i < Math.min(5000, p * 256 + 256); ++i) lo = Math.min(lo, samples[i]), hi = Math.max(hi, samples[i]);
    fine[2 * p] = lo;
    fine[2 * p + 1] = hi;
  }
  const mine = computePeaks([samples], 48000), theirs = peaksFromStudio(fine, 48000, 256);
  assert.equal(theirs.rate, 48000);
  assert.deepEqual(theirs.levels.map((l) => l.per), [256, 4096]);
  assert.deepEqual(Array.from(theirs.levels[0].peaks), Array.from(mine.levels[0].peaks));
  assert.deepEqual(Array.from(theirs.levels[1].peaks), Array.from(mine.levels[1].peaks));
  assert.deepEqual(Array.from(theirs.levels[1].peaks), [-0.35, 0.349, -0.35, 0.349].map(Math.fround));
});

test('revisions rise with the clock, and by one within a millisecond', () => {
  assert.equal(nextRevision(0, 1765000000123.7), 1765000000123);
  assert.equal(nextRevision(1765000000123, 1765000000123.9), 1765000000124);
  assert.equal(nextRevision(1765000000500, 1765000000123), 1765000000501);  // a clock set back
});

function fakeEditor(text) {
  const shown = { conflict: { hidden: true }, 'conflict-text': {}, 'conflict-reload': {}, 'conflict-keep': {} };
  const ed = {
    said: [], refreshed: 0, seeks: [], plays: [],
    $: (id) => shown[id],
    say: (t) => ed.said.push(t),
    files: { name: 'demo.timeline' },
    view: { selected: new Set(), playing: false },
    doc: { value: text, text: () => ed.doc.value, bytes: () => new TextEncoder().encode(ed.doc.value),
           replaceText: (t) => { ed.doc.value = t; return true; } },
    refresh: () => { ed.refreshed++; },
    transport: { seek: (ms) => ed.seeks.push(ms), setPlaying: (p) => ed.plays.push(p) },
  };
  return { ed, shown };
}

test('a change on the disk reloads a page with nothing unsaved, and is offered to one with edits', async () => {
  const disk = { text: 'tempo 120\n0 4 water\n', version: 'v2' };
  globalThis.fetch = async () => ({
    ok: true, status: 200, headers: { get: () => disk.version },
    arrayBuffer: async () => new TextEncoder().encode(disk.text).buffer,
  });
  const clean = fakeEditor('0 4 water\n');
  const studio = new Studio(clean.ed, { version: 'v1', name: 'demo.timeline' });
  studio.savedText = '0 4 water\n';
  await studio.changedOnDisk('v1', 'on disk');  // the version it has: nothing to do
  assert.equal(clean.ed.refreshed, 0);
  await studio.changedOnDisk('v2', 'on disk');
  assert.equal(clean.ed.doc.value, disk.text);
  assert.equal(studio.version, 'v2');
  assert.equal(clean.shown.conflict.hidden, true);

  const edited = fakeEditor('0 8 morph\n');
  const other = new Studio(edited.ed, { version: 'v1', name: 'demo.timeline' });
  other.savedText = '0 4 water\n';
  disk.version = 'v3';
  await other.changedOnDisk('v3', 'by another page');
  assert.equal(edited.ed.doc.value, '0 8 morph\n', 'the edits stay');
  assert.equal(edited.shown.conflict.hidden, false);
  assert.match(edited.shown['conflict-text'].textContent, /changed by another page/);
  edited.shown['conflict-keep'].onclick();  // keep: the next save replaces v3
  assert.equal(other.version, 'v3');
});

test('moves from the window are followed, a page\'s own echo is not, and nothing is sent back', () => {
  const { ed } = fakeEditor('');
  const studio = new Studio(ed, { version: 'v1' });
  const sent = [];
  globalThis.fetch = async (url) => { sent.push(url); return { ok: true, status: 204 }; };
  ed.transport.seek = (ms) => { ed.seeks.push(ms); studio.moved({ positionMs: ms }); };
  studio.follow({ tab: 'window', playing: true, positionMs: 6500 });
  studio.follow({ tab: studio.tab, playing: false, positionMs: 100 });
  studio.follow({ tab: 'window', playing: null, positionMs: 0 });  // back to the start
  studio.follow({ tab: 'window', playing: null, positionMs: null });  // no move
  assert.deepEqual(ed.plays, [true]);
  assert.deepEqual(ed.seeks, [6500, 0]);
  assert.deepEqual(sent, []);
  studio.moved({ positionMs: 250, loop: [1000, 2000] });
  assert.deepEqual(sent, ['api/transport?at=250&loopFrom=1000&loopTo=2000']);
});

test('a save the studio refuses (the file changed on disk) says so and keeps what it knew; one it takes is the new base', async () => {
  const { ed, shown } = fakeEditor('0 8 morph\n');
  const studio = new Studio(ed, { version: 'v1', name: 'demo.timeline' });
  studio.savedText = '0 4 water\n';
  const sent = [];
  let answer = { status: 409, version: 'v2' };
  globalThis.fetch = async (url, options) => {
    sent.push([url, options.method, options.headers['X-Kandu-Base']]);
    return { ok: answer.status === 200, status: answer.status, json: async () => ({ version: answer.version }) };
  };
  assert.equal(await studio.save(), false);
  assert.equal(studio.version, 'v1', 'still based on what it read');
  assert.equal(studio.savedText, '0 4 water\n');
  assert.equal(shown.conflict.hidden, false);
  assert.match(shown['conflict-text'].textContent, /changed on disk since it was opened: not saved/);
  assert.ok(!ed.said.some((t) => /^saved/.test(t)));
  answer = { status: 200, version: 'v3' };
  assert.equal(await studio.save(), true);
  assert.deepEqual(sent.map((s) => s[2]), ['v1', 'v1']);
  assert.equal(studio.version, 'v3');
  assert.equal(studio.savedText, '0 8 morph\n');
  assert.equal(studio.unsaved(), false);
  assert.equal(ed.said.at(-1), 'saved demo.timeline');
});
