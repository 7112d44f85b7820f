// The editor's document over a stand-in for the module that keeps a text and refuses what the
// module would: a gesture is one undo step, a refused one changes nothing and records nothing.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { KanduError } from '../../../web/page/module.js';
import { EditorDocument } from '../../../web/page/editor/document.js';

const enc = new TextEncoder(), dec = new TextDecoder();

// Keeps the text as bytes; refuses a text holding "bad" the way the module refuses a malformed line.
class StandIn {
  constructor() { this.bytes = new Uint8Array(); this.last = { at: 0, removed: new Uint8Array(), inserted: new Uint8Array() }; this.parses = 0; }
  set(next) {
    if (dec.decode(next).includes('bad')) throw new KanduError('timeline:1: bad line');
    const before = this.bytes;
    let head = 0, tail = 0;
    while (head < Math.min(before.length, next.length) && before[head] === next[head]) ++head;
    while (tail < Math.min(before.length, next.length) - head &&
           before[before.length - 1 - tail] === next[next.length - 1 - tail]) ++tail;
    this.last = { at: head, removed: before.slice(head, before.length - tail), inserted: next.slice(head, next.length - tail) };
    this.bytes = next;
    ++this.parses;
  }
  open(data) { this.set(typeof data === 'string' ? enc.encode(data) : data); }
  docText() { return dec.decode(this.bytes); }
  docBytes() { return this.bytes.slice(); }
  change() { return this.last; }
  replace(at, removed, inserted) {
    const next = new Uint8Array(this.bytes.length - removed + inserted.length);
    next.set(this.bytes.subarray(0, at));
    next.set(inserted, at);
    next.set(this.bytes.subarray(at + removed), at + inserted.length);
    this.set(next);
  }
}

test('gestures are undone and redone byte for byte, with their selections', () => {
  const k = new StandIn(), doc = new EditorDocument(k);
  assert.equal(doc.open('0 1000 morph\n', 'a.timeline'), true);
  const opened = doc.revision;
  assert.equal(doc.gesture((m) => m.open('0 2000 morph\n'), [1], [1]), true);
  assert.equal(doc.gesture((m) => { m.open('0 2000 morph\n0 2000 morph\n'); return [2]; }, [1], (copies) => copies), true);
  assert.equal(doc.revision, opened + 2);
  assert.deepEqual(doc.undo(), [1]);
  assert.equal(k.docText(), '0 2000 morph\n');
  assert.deepEqual(doc.undo(), [1]);
  assert.equal(k.docText(), '0 1000 morph\n');
  assert.equal(doc.undo(), null, 'opening a file is not an undo step');
  assert.deepEqual(doc.redo(), [1]);
  assert.deepEqual(doc.redo(), [2], 'the copy is selected again after redo');
  assert.equal(k.docText(), '0 2000 morph\n0 2000 morph\n');
});

test('opening another file starts a fresh history', () => {
  const k = new StandIn(), doc = new EditorDocument(k);
  doc.open('0 1000 morph\n', 'a.timeline');
  doc.gesture((m) => m.open('0 2000 morph\n'));
  doc.open('5 6 fade\n', 'b.timeline');
  assert.equal(doc.undo(), null);
  assert.equal(k.docText(), '5 6 fade\n', 'nothing of a.timeline comes back into b.timeline');
});

test('a refused gesture changes nothing, records nothing and says why', () => {
  const k = new StandIn(), doc = new EditorDocument(k);
  doc.open('0 1000 morph\n');
  const parses = k.parses, revision = doc.revision;
  assert.equal(doc.gesture((m) => m.open('bad\n')), false);
  assert.equal(doc.error, 'timeline:1: bad line');
  assert.equal(k.docText(), '0 1000 morph\n');
  assert.equal(k.parses, parses, 'nothing was opened again to put the text back');
  assert.equal(doc.revision, revision);
  assert.equal(doc.history.canUndo(), false);
  assert.equal(doc.open('bad'), false, 'a file that does not parse is not opened');
  assert.equal(k.docText(), '0 1000 morph\n');
  // Other failures are not the module's refusals: they are not swallowed.
  assert.throws(() => doc.gesture(() => { throw new TypeError('a bug'); }), TypeError);
});

test('typing with one key is one step; a gesture that changes nothing is none', () => {
  const k = new StandIn(), doc = new EditorDocument(k);
  doc.open('0 1000 morph\n');
  for (const text of ['0 1000 morph\n#', '0 1000 morph\n# a', '0 1000 morph\n# ab'])
    assert.equal(doc.replaceText(text, [], 1), true);
  const revision = doc.revision;
  assert.equal(doc.replaceText('0 1000 morph\n# ab', [], 2), true);
  assert.equal(doc.history.undoSteps.length, 1);
  assert.equal(doc.revision, revision, 'the same text again is no change');
  doc.undo();
  assert.equal(k.docText(), '0 1000 morph\n');
});
