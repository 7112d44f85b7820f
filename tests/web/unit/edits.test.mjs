// The editor's edits on a selection, over a stand-in module that records what it is asked: every
// selected line, the grid step at the right place, the selection each edit leaves, and a refusal
// said without touching the selection.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { KanduError } from '../../../web/page/module.js';
import { EditorDocument } from '../../../web/page/editor/document.js';
import { Edits } from '../../../web/page/editor/edits.js';
import { newView } from '../../../web/page/editor/layout.js';

function editor({ refuse = false } = {}) {
  const calls = [];
  let edits = 0;
  const kandu = {
    // 120 BPM: a quarter-beat step is 125 ms, a beat 500; the playhead at 1060 ms snaps to 1000.
    step: (at, fraction) => 500 * fraction,
    snap: (ms, fraction) => Math.round(ms / (500 * fraction)) * 500 * fraction,
    later: (ms, beats) => ms + 500 * beats,
    position: () => 1060,
    change: () => ({ at: 0, removed: new Uint8Array([edits]), inserted: new Uint8Array([edits + 1]) }),
    replace: (...args) => calls.push(['replace', ...args]),
  };
  for (const name of ['move', 'resize', 'duplicate', 'remove', 'setWord', 'insert', 'insertTime', 'removeTime', 'setEdge'])
    kandu[name] = (...args) => {
      if (refuse) throw new KanduError('t.timeline:3: refused');
      calls.push([name, ...args]);
      ++edits;
      return name === 'duplicate' ? args[0].map((line) => line + 10) : undefined;
    };
  const view = newView();
  view.blocks = [[2000, 3000, 'morph', 2], [500, 900, 'rotate', 5], [4000, 5000, 'fade', 7]];
  view.selected = new Set([5, 2]);
  const said = [];
  const ed = { kandu, view, doc: new EditorDocument(kandu), say: (t) => said.push(t), refresh: () => {},
               lanes: { markSelected: () => {} }, $: () => ({ value: '' }) };
  ed.edits = new Edits(ed);
  return { ed, calls, said };
}

test('a selection is edited whole, by the grid step at its first block', () => {
  const { ed, calls } = editor();
  ed.edits.resize(-1);
  ed.edits.move(ed.edits.step(ed.edits.anchorMs()));
  assert.deepEqual(calls, [['resize', [5, 2], -125, 0.25], ['move', [5, 2], 125]]);
  assert.equal(ed.edits.anchorMs(), 2000, 'the first selected block in file order');
  ed.view.selected = new Set();
  assert.equal(ed.edits.anchorMs(), ed.view.playhead, 'nothing selected: the playhead');
});

test('copies become the selection, deleted blocks leave none, each edit one undo step', () => {
  const { ed, calls } = editor();
  ed.edits.duplicate();
  assert.deepEqual([...ed.view.selected], [15, 12]);
  ed.edits.remove();
  assert.deepEqual([...ed.view.selected], []);
  assert.deepEqual(calls.map((c) => c[0]), ['duplicate', 'remove']);
  assert.equal(ed.doc.history.undoSteps.length, 2);
  assert.deepEqual(ed.doc.undo(), [15, 12], 'undo gives back the selection the step had');
});

test('a block added at the playhead is snapped and a beat long; time goes in at the snapped playhead', () => {
  const { ed, calls } = editor();
  ed.edits.add('light');
  ed.edits.insertTime(false);
  ed.edits.insertTime(true);
  assert.deepEqual(calls, [['insert', 1000, 1500, 'light'], ['insertTime', 1000, 125], ['removeTime', 1000, 125]]);
});

test('a refused edit is said and leaves the selection as it was', () => {
  const { ed, said } = editor({ refuse: true });
  ed.edits.duplicate();
  assert.deepEqual(said, ['t.timeline:3: refused']);
  assert.deepEqual([...ed.view.selected], [5, 2]);
  assert.equal(ed.doc.history.canUndo(), false);
});
