// The lanes' key table, on macOS and elsewhere.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { isSave, laneCommand } from '../../../web/page/editor/keys.js';

const key = (k, mods = {}) => Object.assign({ key: k, ctrlKey: false, metaKey: false, shiftKey: false }, mods);

test('commands with Ctrl, or Cmd on macOS', () => {
  assert.equal(laneCommand(key('z', { ctrlKey: true }), false), 'undo');
  assert.equal(laneCommand(key('Z', { ctrlKey: true, shiftKey: true }), false), 'redo');
  assert.equal(laneCommand(key('y', { ctrlKey: true }), false), 'redo');
  assert.equal(laneCommand(key('d', { ctrlKey: true }), false), 'duplicate');
  assert.equal(laneCommand(key('z', { metaKey: true }), true), 'undo');
  assert.equal(laneCommand(key('z', { ctrlKey: true }), true), null, 'Ctrl+Z is not undo on macOS');
  assert.equal(isSave(key('s', { ctrlKey: true }), false), true);
  assert.equal(isSave(key('S', { metaKey: true }), true), true);
  assert.equal(isSave(key('s'), false), false);
});

test('plain keys', () => {
  const table = [[' ', {}, 'play-pause'], ['Delete', {}, 'delete'], ['Backspace', {}, 'delete'],
                 ['ArrowLeft', {}, 'move-earlier'], ['ArrowRight', {}, 'move-later'],
                 ['ArrowLeft', { shiftKey: true }, 'shorten'], ['ArrowRight', { shiftKey: true }, 'lengthen'],
                 ['i', {}, 'insert-time'], ['I', { shiftKey: true }, 'remove-time'], ['+', {}, 'zoom-in'],
                 ['=', {}, 'zoom-in'], ['-', {}, 'zoom-out'], ['Home', {}, 'home'], ['?', {}, 'help'], ['x', {}, null]];
  for (const [k, mods, command] of table) assert.equal(laneCommand(key(k, mods), false), command, k);
  assert.equal(laneCommand(key('Enter'), false, false), null, 'Enter selects only on a block');
  assert.equal(laneCommand(key('Enter'), false, true), 'select');
  assert.equal(laneCommand(key('Enter', { shiftKey: true }), false, true), 'select-add');
});
