// The facade over the module: what crosses the boundary, byte for byte, and the module's refusals
// as exceptions. The module is a stand-in with a heap and the functions the facade calls.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { Kandu, KanduError } from '../../../web/page/module.js';

const root = join(dirname(fileURLToPath(import.meta.url)), '../../..');

// A heap of 64 KiB with a bump allocator; `functions` are the module's.
function standIn(functions) {
  const buffer = new ArrayBuffer(1 << 16);
  const raw = { HEAPU8: new Uint8Array(buffer), HEAP32: new Int32Array(buffer), HEAPF32: new Float32Array(buffer),
                HEAPF64: new Float64Array(buffer), next: 64, live: 0 };
  raw._malloc = (n) => { const at = raw.next; raw.next += (n + 7) & ~7; raw.live++; return at; };
  raw._free = () => { raw.live--; };
  raw._kandu_web_max_timeline_bytes = () => 16;
  const cString = (text) => {  // kept in the heap, as the module keeps its strings
    const at = raw._malloc(text.length * 3 + 1);
    const bytes = new TextEncoder().encode(text);
    raw.HEAPU8.set(bytes, at);
    raw.HEAPU8[at + bytes.length] = 0;
    return at;
  };
  raw.cString = cString;
  return Object.assign(raw, functions(raw));
}

test('bytes go in as they are, with their length; over the limit only the length goes', () => {
  let seen = null;
  const raw = standIn((r) => ({
    _kandu_doc_open: (at, length, name) => {
      seen = { bytes: Array.from(r.HEAPU8.slice(at, at + length)), at, length, name: new TextDecoder().decode(r.HEAPU8.slice(name, r.HEAPU8.indexOf(0, name))) };
      return 0;
    },
  }));
  const k = new Kandu(raw);
  k.open(new Uint8Array([0xEF, 0xBB, 0xBF, 0x30, 0x00, 0x31]), 'é.timeline');
  assert.deepEqual(seen.bytes, [0xEF, 0xBB, 0xBF, 0x30, 0x00, 0x31], 'a byte-order mark and a NUL arrive');
  assert.equal(seen.name, 'é.timeline');
  k.open('0 1 morph\n');
  assert.deepEqual(seen.bytes, Array.from(new TextEncoder().encode('0 1 morph\n')));
  assert.equal(seen.name, 'timeline');
  k.open(new Uint8Array(17));
  assert.equal(seen.at, 0, 'nothing copied past the limit');
  assert.equal(seen.length, 17, 'only the length, for the module to refuse with its message');
  assert.equal(raw.live, 0, 'every allocation freed');
});

test('a refusal throws the module\'s message; text comes back with its byte-order mark', () => {
  const raw = standIn((r) => {
    const error = r.cString('a.timeline:3: block ends at 5, not after its start 9');
    const text = r._malloc(8);
    r.HEAPU8.set([0xEF, 0xBB, 0xBF, 0x41, 0x00, 0x42], text);
    return {
      _kandu_doc_move: () => 1,
      _kandu_web_error: () => error,
      _kandu_doc_text: () => text,
      _kandu_doc_length: () => 6,
      _kandu_web_still_at: () => -1,
    };
  });
  const k = new Kandu(raw);
  assert.throws(() => k.move([3], 10), (e) => e instanceof KanduError &&
                e.message === 'a.timeline:3: block ends at 5, not after its start 9');
  assert.throws(() => k.stillAt('x'), KanduError);
  assert.equal(k.docText(), '\uFEFFA\0B');
  assert.deepEqual(Array.from(k.docBytes()), [0xEF, 0xBB, 0xBF, 0x41, 0x00, 0x42]);
});

test('numbers cross as arrays: lines in, blocks, copies, grid lines and the last change out', () => {
  let moved = null;
  const raw = standIn((r) => {
    const blocks = r._malloc(64), words = [r.cString('morph'), r.cString('rotate')];
    r.HEAPF64.set([0, 1000, 2, 1, 500, 750, 3, 0], blocks >> 3);
    const lines = r._malloc(48);
    r.HEAPF64.set([0, 0, 2, 250, 0.5, 0], lines >> 3);
    const change = r._malloc(24), removed = r.cString('16b'), inserted = r.cString('17.5b');
    r.HEAPF64.set([40, 3, 5], change >> 3);
    return {
      _kandu_doc_blocks: (count) => { r.HEAP32[count >> 2] = 2; return blocks; },
      _kandu_doc_word: (i) => words[i],
      _kandu_doc_move: (at, n, delta) => { moved = [Array.from(r.HEAP32.slice(at >> 2, (at >> 2) + n)), delta]; return 0; },
      _kandu_doc_duplicate: (at, n, copies) => {
        for (let i = 0; i < n; ++i) r.HEAP32[(copies >> 2) + i] = r.HEAP32[(at >> 2) + i] + 10;
        return 0;
      },
      _kandu_grid_lines: (from, to, fraction, minStep, minBeat, count) => { r.HEAP32[count >> 2] = 2; return lines; },
      _kandu_doc_change: () => change,
      _kandu_doc_change_removed: () => removed,
      _kandu_doc_change_inserted: () => inserted,
    };
  });
  const k = new Kandu(raw);
  assert.deepEqual(k.blocks(), [[0, 1000, 'rotate', 2], [500, 750, 'morph', 3]]);
  k.move([7, 3, 12], -125.5);
  assert.deepEqual(moved, [[7, 3, 12], -125.5]);
  assert.deepEqual(k.duplicate([5, 2]), [15, 12]);
  assert.deepEqual(k.gridLines(0, 1000, 0.25, 1, 1), [{ ms: 0, beat: 0, strength: 'bar' }, { ms: 250, beat: 0.5, strength: 'step' }]);
  const c = k.change();
  assert.equal(c.at, 40);
  assert.equal(new TextDecoder().decode(c.removed), '16b');
  assert.equal(new TextDecoder().decode(c.inserted), '17.5b');
});

// The boundary is one place: every function api.h declares is wrapped by module.js, and no other
// page source calls the module by name, spells an effect word, or grows past about 300 lines.
test('one boundary: api.h and the facade agree, and nothing else reaches the module', () => {
  const api = readFileSync(join(root, 'web/module/api.h'), 'utf8');
  const declared = [...api.matchAll(/KANDU_(?:EDITOR_)?API[^;(]*[ *](kandu_[a-z0-9_]+)\(/g)].map((m) => m[1]).sort();
  const facade = readFileSync(join(root, 'web/page/module.js'), 'utf8');
  const called = [...new Set([...facade.matchAll(/_(kandu_[a-z0-9_]+)\(/g)].map((m) => m[1]))].sort();
  assert.deepEqual(called, declared);
  const pages = [];
  const walk = (dir) => {
    for (const entry of readdirSync(join(root, dir), { withFileTypes: true })) {
      const path = join(dir, entry.name);
      if (entry.isDirectory()) walk(path);
      else if (/\.(js|html)$/.test(entry.name)) pages.push(path);
    }
  };
  walk('web/page');
  // The words are the module's (host/words.h); no page spells one.
  const list = readFileSync(join(root, 'host/words.h'), 'utf8');
  const effectWords = [...list.matchAll(/X\("([a-z_0-9]+)"/g)].map((m) => m[1]);
  assert.ok(effectWords.includes('cube_field'));
  for (const page of pages) {
    const text = readFileSync(join(root, page), 'utf8');
    if (!page.endsWith('module.js')) assert.doesNotMatch(text, /_kandu_|ccall/, page + ' calls the module by name');
    for (const word of effectWords) assert.ok(!text.includes("'" + word + "'") && !text.includes('"' + word + '"'), page + ' spells ' + word);
    if (page.endsWith('.js')) assert.ok(text.split('\n').length <= 300, page + ' is over 300 lines');
  }
});

test('the detector\'s estimate so far and at the end come from their own calls; how sure and the tempo line, in the module\'s words', () => {
  const calls = [];
  const raw = standIn((r) => {
    const numbers = r._malloc(32);
    const answer = (name, values) => () => { calls.push(name); r.HEAPF64.set(values, numbers >> 3); return numbers; };
    const why = r.cString('no steady beat');
    return {
      _kandu_tempo_so_far: answer('so far', [1, 131.5, 90.25, 0.3]),
      _kandu_tempo_finish: answer('finish', [0, 0, 0, 0]),
      _kandu_tempo_why: () => why,
      _kandu_tempo_how_sure: (c) => r.cString(c === 0.25 ? 'unsure: 25%' : '?'),
      _kandu_tempo_line: (bpm, ms) => r.cString(bpm === 131.5 && ms === 90.25 ? 'tempo 131.50 90' : '?'),
    };
  });
  const k = new Kandu(raw);
  assert.deepEqual(k.tempoSoFar(), { steady: true, bpm: 131.5, firstBeatMs: 90.25, confidence: 0.3, why: 'no steady beat' });
  assert.deepEqual(k.tempoFinish(), { steady: false, bpm: 0, firstBeatMs: 0, confidence: 0, why: 'no steady beat' });
  assert.deepEqual(calls, ['so far', 'finish']);
  assert.equal(k.howSure(0.25), 'unsure: 25%');
  assert.equal(k.tempoLine(131.5, 90.25), 'tempo 131.50 90');
});
