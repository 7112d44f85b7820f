// Undo and redo as changes, checked on a text kept here the way the module keeps it: bytes, with
// each change a range replaced.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { History, inverse } from '../../../web/page/editor/history.js';

const bytes = (s) => new TextEncoder().encode(s);
const str = (b) => new TextDecoder().decode(b);
const change = (at, removed, inserted) => ({ at, removed: bytes(removed), inserted: bytes(inserted) });

// The text with `c` applied, as kandu_doc_replace applies it.
function apply(text, c) {
  const b = bytes(text);
  assert.equal(str(b.slice(c.at, c.at + c.removed.length)), str(c.removed), 'a change replaces what it says it removes');
  return str(b.slice(0, c.at)) + str(c.inserted) + str(b.slice(c.at + c.removed.length));
}

test('undo replays the inverse of each change, the last first, and redo the changes again', () => {
  const h = new History();
  let text = '0 1000 morph\n';
  const edits = [change(2, '1000', '2000'), change(13, '', '0 500 fade\n')];
  for (const c of edits) {
    text = apply(text, c);
    h.record(c, [1], [1]);
  }
  assert.equal(text, '0 2000 morph\n0 500 fade\n');
  const run = (changes) => { for (const c of changes) text = apply(text, c); };
  assert.deepEqual(h.undo(run), [1]);
  assert.equal(text, '0 2000 morph\n');
  assert.deepEqual(h.undo(run), [1]);
  assert.equal(text, '0 1000 morph\n');
  assert.equal(h.undo(run), null, 'nothing left to undo');
  h.redo(run);
  h.redo(run);
  assert.equal(text, '0 2000 morph\n0 500 fade\n');
  assert.equal(h.redo(run), null);
});

test('a burst with one merge key is one step; a new step forgets the redo; an empty change is no step', () => {
  const h = new History();
  let text = 'ab';
  const run = (changes) => { for (const c of changes) text = apply(text, c); };
  for (const [c, key] of [[change(2, '', 'c'), 7], [change(3, '', 'd'), 7], [change(0, 'a', 'A'), 8]]) {
    text = apply(text, c);
    h.record(c, ['before' + key], ['after' + key], key);
  }
  assert.equal(text, 'Abcd');
  h.record(change(1, '', ''), [], []);
  assert.equal(h.undoSteps.length, 2);
  assert.deepEqual(h.undo(run), ['before8']);
  assert.deepEqual(h.undo(run), ['before7']);
  assert.equal(text, 'ab', 'the burst of two keys went in one undo');
  h.redo(run);
  assert.equal(text, 'abcd');
  h.record(change(0, 'a', 'x'), [], []);
  text = 'xbcd';
  assert.equal(h.canRedo(), false, 'an edit after undo drops what could be redone');
  assert.equal(h.redo(run), null);
});

test('a step whose replay is refused stays where it was', () => {
  const h = new History();
  h.record(change(0, 'a', 'b'), [], []);
  assert.throws(() => h.undo(() => { throw new Error('refused'); }));
  assert.equal(h.canUndo(), true);
  assert.equal(h.canRedo(), false);
});

test('the history is bounded by its bytes, the oldest steps going first', () => {
  // Each step: 10 bytes removed, 10 inserted and 64 of bookkeeping, 84 in all; 200 bytes keep two.
  const h = new History(200);
  for (let i = 0; i < 3; ++i) h.record(change(0, String(i).repeat(10), String(i + 1).repeat(10)), [i], [i]);
  assert.equal(h.bytes, 168);
  assert.deepEqual(h.undoSteps.map((s) => s.selectionBefore), [[1], [2]]);
  // One step larger than the bound is still kept: the last edit can always be undone.
  h.record(change(0, 'x'.repeat(300), ''), [9], [9]);
  assert.equal(h.undoSteps.length, 1);
  assert.equal(h.bytes, 364);
  // A million-byte text edited a thousand times by one byte costs about 65 KB, not a gigabyte.
  const big = new History();
  for (let i = 0; i < 1000; ++i) big.record(change(i, 'a', 'b'), [], []);
  assert.equal(big.bytes, 1000 * 66);
});

test('the inverse of a change swaps what went and what came', () => {
  const c = change(4, 'old', 'new!');
  assert.deepEqual(inverse(c), change(4, 'new!', 'old'));
  assert.equal(apply(apply('abc old xyz', c), inverse(c)).length, 'abc old xyz'.length);
});
