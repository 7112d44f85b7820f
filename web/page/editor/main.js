// kandu's demo editor: the timeline's blocks in lanes on a beat grid over the music's waveform, the
// text beside them, the intro playing live. The document lives in the web module (the timeline
// library kandu-player reads timelines with): every edit here is one of its edits, and the text the
// module keeps is what is saved, byte for byte. This file puts the parts together; the state is
// the editor object `ed`, handed to each part.
import { Sound, musicUrl, startIntro } from '../stage.js';
import { EditorDocument } from './document.js';
import { Edits } from './edits.js';
import { Files } from './files.js';
import { isSave, laneCommand } from './keys.js';
import { Lanes } from './lanes.js';
import { laneWords, newView } from './layout.js';
import { Marks } from './marks.js';
import { installPointer, zoom } from './pointer.js';
import { beatsText } from './ruler.js';
import { Still } from './still.js';
import { Studio } from './studio.js';
import { Tempo, nudgeMs } from './tempo.js';
import { Transport } from './transport.js';

const $ = (id) => document.getElementById(id);

function createEditor(kandu) {
  const ed = { kandu, $, view: newView(), sound: new Sound(), doc: new EditorDocument(kandu), tempoKey: 0 };
  ed.words = kandu.effectWords();
  ed.say = (text) => { $('message').textContent = text; };  // stays until the next message
  ed.beatsText = (ms) => beatsText(kandu, ms);
  ed.lanes = new Lanes(ed);
  ed.edits = new Edits(ed);
  ed.transport = new Transport(ed);
  ed.still = new Still(ed);
  ed.files = new Files(ed);
  ed.tempo = new Tempo(ed);
  ed.marks = new Marks(ed);
  // After a change of the document: blocks, lanes, text, and the intro's picture.
  ed.refresh = (fromLanes) => {
    const { view } = ed;
    view.blocks = ed.doc.blocks();
    ed.tempoKey = kandu.tempoKey();
    view.duration = Math.max(1, ...view.blocks.map((b) => b[1]));
    view.lanes = laneWords(view.blocks, ed.words);
    const lines = new Set(view.blocks.map((b) => b[3]));
    for (const line of [...view.selected]) if (!lines.has(line)) view.selected.delete(line);
    ed.lanes.build();
    if (fromLanes !== false) {
      // The text pane follows on the next frame: a long text lays out slower than a frame, and the
      // lanes must not wait for it.
      cancelAnimationFrame(ed.textFrame);
      ed.textFrame = requestAnimationFrame(() => {
        const text = $('text'), now = ed.doc.text();
        if (text.value === now) return;
        const top = text.scrollTop;
        text.value = now;
        text.scrollTop = top;
      });
      $('error').textContent = '';
    }
    ed.files.keepDraft();
    if (ed.studio) ed.studio.sendDraft();
    if (!view.playing) ed.still.request();
    ed.lanes.draw();
  };
  ed.undo = (redo) => {
    const selection = redo ? ed.doc.redo() : ed.doc.undo();
    if (selection === null) return;
    ed.view.selected = new Set(selection);
    ed.refresh(true);
  };
  return ed;
}

function installKeys(ed) {
  const { view, edits, transport } = ed;
  const commands = {
    'play-pause': () => transport.setPlaying(!view.playing),
    'undo': () => ed.undo(false),
    'redo': () => ed.undo(true),
    'duplicate': () => edits.duplicate(),
    'delete': () => edits.remove(),
    'move-earlier': () => edits.move(-edits.step(edits.anchorMs())),
    'move-later': () => edits.move(edits.step(edits.anchorMs())),
    'shorten': () => edits.resize(-1),
    'lengthen': () => edits.resize(1),
    'insert-time': () => edits.insertTime(false),
    'remove-time': () => edits.insertTime(true),
    'zoom-in': () => zoom(ed, 1.25, view.playhead),
    'zoom-out': () => zoom(ed, 0.8, view.playhead),
    'home': () => transport.seek(0),
    'select': (event) => edits.select(Number(event.target.dataset.line), false),
    'select-add': (event) => edits.select(Number(event.target.dataset.line), true),
    'help': () => $('keys').showModal(),
    'tap': (event) => ed.tempo.tap(event.timeStamp),
    'add-mark': () => ed.marks.add(),
    'copy-time': () => ed.marks.copy(),
    'paste-time': () => ed.marks.paste(),
    'previous-mark': () => ed.marks.jump(false),
    'next-mark': () => ed.marks.jump(true),
    'loop-marks': () => ed.marks.loopAround(),
    'first-beat-earlier': () => ed.tempo.nudge(-nudgeMs),
    'first-beat-later': () => ed.tempo.nudge(nudgeMs),
  };
  $('timeline').addEventListener('keydown', (event) => {
    const command = laneCommand(event, undefined, event.target.classList.contains('block'));
    if (!command) return;
    commands[command](event);
    event.preventDefault();
  });
  document.addEventListener('keydown', (event) => {
    if (!isSave(event)) return;
    event.preventDefault();
    ed.files.save();
  });
}

// The text beside the lanes: a text that parses replaces the document at once (a burst of typing
// is one undo step); one that does not shows its FILE:LINE error while the last good timeline
// plays on.
function installTextPane(ed) {
  let burst = 0, bursts = 0, timer = 0;
  $('text').addEventListener('input', () => {
    if (!burst) burst = ++bursts;
    clearTimeout(timer);
    timer = setTimeout(() => { burst = 0; }, 1000);
    if (ed.doc.replaceText($('text').value, [...ed.view.selected], burst)) {
      ed.refresh(false);
      $('error').textContent = '';
    } else {
      $('error').textContent = ed.doc.error;
    }
  });
}

function installToolbar(ed) {
  const { view, edits, files } = ed;
  for (const { word } of ed.words.filter((w) => w.kind !== 'other')) {
    const button = document.createElement('button');
    button.textContent = word;
    button.title = 'Add ' + word + ' at the playhead';
    button.addEventListener('click', () => edits.add(word));
    $('palette').appendChild(button);
    $('word').appendChild(new Option(word, word));
  }
  $('word').insertBefore(new Option('', ''), $('word').firstChild);
  $('word').addEventListener('change', () => edits.setWord($('word').value));
  $('grid').addEventListener('change', () => { view.gridFraction = Number($('grid').value); ed.lanes.draw(); });
  $('insert-time').addEventListener('click', () => edits.insertTime(false));
  $('remove-time').addEventListener('click', () => edits.insertTime(true));
  $('follow').addEventListener('change', () => { view.follow = $('follow').checked; });
  $('help').addEventListener('click', () => $('keys').showModal());
  ed.tempo.install();
  $('open').addEventListener('click', () => files.pick());
  $('files').addEventListener('change', () => files.openFiles([...$('files').files]));
  $('save').addEventListener('click', () => files.save());
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => files.drop(event));
  window.addEventListener('resize', () => ed.lanes.draw());
}

// For tests and scripts.
function scriptingApi(ed) {
  const { doc, view, transport, still } = ed;
  return {
    text: () => doc.text(),
    bytes: () => Array.from(doc.bytes()),  // what saving writes
    setText: (text) => {
      if (!doc.replaceText(text, [...view.selected])) return false;
      ed.refresh(true);
      return true;
    },
    blocks: () => doc.blocks().map((b) => [b[0], b[1], b[2]]),
    playheadMs: () => transport.position(),
    seek: (ms) => transport.seek(ms),
    pause: () => transport.setPlaying(false),
    play: () => transport.setPlaying(true),
    frames: () => view.frames,
    revision: () => doc.revision,
    drawnRevision: () => view.drawnRevision,
    setLoop: (a, b) => transport.setLoop(a === undefined ? null : [a, b]),
    stillAt: () => still.at(),
    stillPicture: () => still.picture(),
    undo: () => ed.undo(false),
    redo: () => ed.undo(true),
    hasMusic: () => !!ed.sound.peaks,  // music loaded and its waveform worked out
    hasSound: () => !!ed.sound.buffer,
    // The millisecond of the loudest sample of the sound the page plays (where a click lies).
    loudestMs: () => {
      const buffer = ed.sound.buffer, data = buffer.getChannelData(0);
      let at = 0;
      for (let i = 1; i < data.length; ++i) if (Math.abs(data[i]) > Math.abs(data[at])) at = i;
      return at * 1000 / buffer.sampleRate;
    },
    studioRevision: () => (ed.studio ? ed.studio.revision : null),  // the text last sent to the window
    studioWindow: () => (ed.studio ? ed.studio.window : null),
    waveformAt: () => (ed.studio ? ed.studio.waveformAt : undefined),  // ms after navigation
    save: () => ed.files.save(),
    tempo: () => ed.kandu.docTempo(),
    marks: () => ed.kandu.marks(),  // the document's tempo line: { bpm, offset }, or null
    tempoEstimate: () => ed.tempo.estimate,  // the detector's, for the music loaded
    acceptTempo: () => ed.tempo.accept(),
    firstCut: () => ed.tempo.firstCut(),
    // Gives the editor the file at `url` as if it were dropped on it.
    dropUrl: async (url) => {
      const blob = await (await fetch(url)).blob(), name = url.split('/').pop();
      await ed.files.openFiles([new File([blob], name, { type: blob.type })]);
    },
    historyLength: () => ed.doc.history.undoSteps.length,
    // When the last music was ready, its first and whole-song estimates came, and a new timeline
    // was made from it (page ms).
    tempoTimes: () => ({ ...ed.tempo.times }),
    view,
  };
}

// Start: the module, then the timeline (from kandu-player edit's studio, ?timeline=URL, or the
// built-in demo with its beat).
async function start() {
  const url = new URLSearchParams(location.search).get('timeline');
  const { kandu, bytes } = await startIntro($('picture'), url);
  window.kandu = kandu;
  $('version').textContent = 'kandu ' + kandu.version();
  const ed = createEditor(kandu);
  ed.studio = await Studio.connect(ed);
  installPointer(ed);
  installKeys(ed);
  installTextPane(ed);
  installToolbar(ed);
  window.kanduEditor = scriptingApi(ed);
  kandu.setPaused(true);
  kandu.setLoop(null);
  if (ed.studio) return startWithStudio(ed);
  // Without a timeline the editor starts empty, for a song to be dropped on it; ?demo opens the
  // built-in demo with its beat made in code.
  const demo = !url && new URLSearchParams(location.search).has('demo');
  const music = url ? kandu.music() : '';
  if (demo && ed.sound.useBeat(kandu)) ed.files.showWaveform();
  ed.files.openText(bytes || (demo ? kandu.builtinText() : ''), url || (demo ? 'demo.timeline' : 'new.timeline'));
  if (music) {
    try {
      const response = await fetch(musicUrl(music, url));
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      await ed.files.openMusic(await response.blob(), music);
    } catch (e) {
      ed.say('no sound: ' + music + ': ' + e);
    }
  }
  ed.transport.seek(0);
  ed.lanes.draw();
  document.title = 'kandu editor — ' + ed.files.name;
  requestAnimationFrame((t) => ed.transport.tick(t));
}

async function startWithStudio(ed) {
  const { studio } = ed;
  studio.install();
  ed.files.openText(await studio.load(), studio.info.name);
  ed.transport.seek(0);
  ed.lanes.draw();
  document.title = 'kandu studio — ' + ed.files.name;
  requestAnimationFrame((t) => ed.transport.tick(t));
  if (studio.info.music) await studio.loadMusic();
}

start().catch((e) => {
  $('error').textContent = String(e.message || e);
  window.kanduErrors.push(String(e.message || e));
});
