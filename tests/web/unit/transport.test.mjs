// Playing, seeking and the loop range over stand-ins for the module and the sound: the sound is
// told the loop the picture wraps in, a range under a millisecond is no loop, and the sound's own
// position wraps in the loop as Web Audio wraps it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Sound } from '../../../web/page/stage.js';
import { newView } from '../../../web/page/editor/layout.js';
import { Transport } from '../../../web/page/editor/transport.js';

function editor() {
  const calls = [];
  let position = 2300;
  const kandu = {
    position: () => position,
    seek: (ms) => { position = ms; calls.push(['seek', ms]); },
    setLoop: (range) => calls.push(['setLoop', range]),
    setPaused: (paused) => calls.push(['setPaused', paused]),
    frame: (ms) => calls.push(['frame', ms]),
  };
  const sound = { loop: 'unset', ensure() {}, stop() { calls.push(['stop']); },
                  start(ms) { calls.push(['start', ms, this.loop]); } };
  const view = newView();
  const ed = { kandu, sound, view, doc: { revision: 3 }, $: () => ({ clientWidth: 800 }),
               still: { hide() {}, request() { calls.push(['still']); } },
               lanes: { draw() {}, drawPlayhead() {}, layout() {} } };
  ed.transport = new Transport(ed);
  return { ed, calls };
}

test('the loop range goes to the picture and, while playing, to the sound', () => {
  const { ed, calls } = editor();
  ed.transport.setPlaying(true);
  calls.length = 0;
  ed.transport.setLoop([2100, 2600]);
  assert.deepEqual(calls, [['setLoop', [2100, 2600]], ['stop'], ['start', 2300, [2100, 2600]]]);
  calls.length = 0;
  ed.transport.setLoop([2100, 2100.5]);
  assert.equal(ed.view.loop, null);
  assert.deepEqual(calls[0], ['setLoop', null]);
  assert.deepEqual(calls[2], ['start', 2300, null]);
});

test('paused, a seek draws the frame there and asks for the still', () => {
  const { ed, calls } = editor();
  ed.transport.seek(-40);
  assert.deepEqual(calls, [['seek', 0], ['frame', 0], ['still']]);
  assert.equal(ed.view.drawnRevision, 3);
});

test('the sound\'s position runs on from where it started and wraps in the loop', () => {
  const sound = new Sound();
  sound.context = { currentTime: 12.5 };
  sound.source = {};
  sound.startPos = 2300;
  sound.startedAt = 12.0;
  assert.equal(sound.position(), 2800);
  sound.loop = [2100, 2600];
  assert.equal(sound.position(), 2300);  // 2800 is 200 ms past the loop's end: 2100 + 200
  sound.source = null;
  assert.equal(sound.position(), -1, 'not playing');
});
