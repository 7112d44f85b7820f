// Where blocks, bands, grabs and zooms fall in the lanes, worked out by hand.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  blockBox, blocksInBand, grabAt, kindOf, laneWords, msOf, newView, revealScroll, selectionAfterClick,
  selectionChanged, xOf, zoomed,
} from '../../../web/page/editor/layout.js';

const words = [{ word: 'water_thing', kind: 'drawing' }, { word: 'morph', kind: 'drawing' },
               { word: 'rotate', kind: 'pulse' }, { word: 'fade', kind: 'fade' }];

function view(fields) { return Object.assign(newView(), fields); }

test('time and pixels: 0.1 px a millisecond scrolled to 2000 ms', () => {
  const v = view({ pxPerMs: 0.1, scrollMs: 2000 });
  assert.equal(xOf(v, 2500), 50);
  assert.equal(xOf(v, 1000), -100);
  assert.equal(msOf(v, 50), 2500);
  // A block from 2500 to 2520 ms is 2 px wide, drawn 3 px wide; a 100 ms one 10 px.
  v.lanes = ['morph', 'rotate'];
  assert.deepEqual(blockBox(v, [2500, 2520, 'rotate', 4]), { x: 50, y: 29, width: 3 });
  assert.deepEqual(blockBox(v, [2500, 2600, 'morph', 4], 100), { x: 60, y: 3, width: 10 });
});

test('lanes: known words in the module\'s order, then others as they come; one lane when empty', () => {
  const blocks = [[0, 1, 'zeta', 1], [0, 1, 'rotate', 2], [0, 1, 'water_thing', 3], [0, 1, 'alpha', 4], [0, 1, 'zeta', 5]];
  assert.deepEqual(laneWords(blocks, words), ['water_thing', 'rotate', 'zeta', 'alpha']);
  assert.deepEqual(laneWords([], words), ['water_thing']);
  assert.equal(kindOf('rotate', words), 'pulse');
  assert.equal(kindOf('zeta', words), 'other');
});

test('a band selects the blocks it touches in time and in lanes', () => {
  // Lanes 26 px high, blocks 20 px from 3 px below their lane's top; 1 px a millisecond.
  const v = view({ pxPerMs: 1, scrollMs: 0, lanes: ['water_thing', 'morph', 'rotate'],
                   blocks: [[0, 100, 'water_thing', 1], [150, 300, 'morph', 2], [90, 95, 'rotate', 3], [400, 500, 'morph', 4]] });
  // x 95..160, y 10..40: water_thing ends at 100 > 95 (lane 0, 3..23) and morph starts at 150 < 160
  // (lane 1, 29..49); rotate ends at 95, not after 95.
  assert.deepEqual(blocksInBand(v, 160, 40, 95, 10), [1, 2]);
  // Only lane 2 (y 55..75), from 0 to 1000 ms.
  assert.deepEqual(blocksInBand(v, 0, 60, 1000, 70), [3]);
  // Between the lanes' blocks (y 23..29) nothing.
  assert.deepEqual(blocksInBand(v, 0, 24, 1000, 28), []);
});

test('a grab within 6 px of an edge takes the edge, on blocks wider than 14 px', () => {
  const v = view({ pxPerMs: 1, scrollMs: 0 });
  const wide = [100, 200, 'morph', 1], narrow = [100, 114, 'morph', 2];
  assert.equal(grabAt(v, wide, 105), 'start');
  assert.equal(grabAt(v, wide, 106), 'move');
  assert.equal(grabAt(v, wide, 195), 'end');
  assert.equal(grabAt(v, wide, 194), 'move');
  assert.equal(grabAt(v, narrow, 101), 'move');
});

test('zoom keeps the time under the pointer in place, within its limits; reveal scrolls to the playhead', () => {
  const v = view({ pxPerMs: 0.1, scrollMs: 1000 });
  // 3000 ms is at 200 px; at 0.2 px/ms it stays there when the left edge is 2000 ms.
  assert.deepEqual(zoomed(v, 2, 3000), { pxPerMs: 0.2, scrollMs: 2000 });
  assert.deepEqual(zoomed(v, 1e6, 1000), { pxPerMs: 4, scrollMs: 1000 });
  assert.equal(zoomed(v, 0.5, 3000).scrollMs, 0, 'never scrolled before 0 (it would be -1000 ms)');
  // 800 px wide: the playhead shows from 0 to 760 px, i.e. 1000..8600 ms.
  assert.equal(revealScroll(view({ pxPerMs: 0.1, scrollMs: 1000, playhead: 8600 }), 800), null);
  assert.equal(revealScroll(view({ pxPerMs: 0.1, scrollMs: 1000, playhead: 8700 }), 800), 8300);
  assert.equal(revealScroll(view({ pxPerMs: 0.1, scrollMs: 1000, playhead: 999 }), 800), 599);
});

test('clicks select one block, Shift toggles, a click on nothing clears', () => {
  const s = new Set([1, 2]);
  assert.deepEqual([...selectionAfterClick(s, 3, false)], [3]);
  assert.deepEqual([...selectionAfterClick(s, 3, true)].sort(), [1, 2, 3]);
  assert.deepEqual([...selectionAfterClick(s, 2, true)], [1]);
  assert.deepEqual([...selectionAfterClick(s, -1, false)], []);
  assert.deepEqual([...selectionChanged(new Set([1, 2]), new Set([2, 3]))].sort(), [1, 3]);
});
