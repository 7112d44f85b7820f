'use strict';
// kandu's demo editor: the timeline's blocks in lanes on a beat grid over the music's waveform, the
// text beside them, the intro playing live. The document lives in the web module (the timeline
// library kandu-player reads timelines with): every edit here is one of its edits, and the text
// the module keeps is what is saved, byte for byte.

const kDrawing = ['water_thing', 'jumping_bars', 'jumping_bars2', 'cube_thing', 'morph', 'cube_field'];
const kPulses = ['rotate', 'light', 'vibrate'];
const kPalette = kDrawing.concat(kPulses, ['fade']);
const kLaneHeight = 26, kRulerHeight = 22, kLabelWidth = 0;
const kMaxMusicMinutes = 20;
const isMac = /Mac|iPhone|iPad/.test(navigator.platform);

const $ = (id) => document.getElementById(id);
let K = null;  // the live module: the document and the intro that plays it

// ---------------------------------------------------------------------------------------------
// The document, through the module.
const doc = {
  source: 'timeline',
  revision: 0,
  call(name, types, args) { return K.ccall(name, 'number', types, args); },
  // `text`: a string, or a file's bytes as they are on the disk.
  open(text, source) {
    const ok = kanduWithBytes(K, text, (at, length) =>
      this.call('kandu_doc_open', ['number', 'number', 'string'], [at, length, source || this.source])) === 0;
    if (ok) { this.source = source || this.source; this.revision++; }
    return ok;
  },
  text() { return kanduText(K, K._kandu_doc_text(), K._kandu_doc_length()); },
  bytes() { return kanduBytes(K, K._kandu_doc_text(), K._kandu_doc_length()); },
  blocks() { return JSON.parse(K.ccall('kandu_doc_blocks', 'string', [], [])); },
  grid() { return JSON.parse(K.ccall('kandu_doc_grid', 'string', [], [])); },
  error() { return K.ccall('kandu_web_error', 'string', [], []); },
  edit(name, types, args) {
    const ok = this.call(name, types, args) === 0;
    if (ok) this.revision++;
    return ok;
  },
};

// ---------------------------------------------------------------------------------------------
// State of the view.
const view = {
  pxPerMs: 0.08,     // zoom
  scrollMs: 0,       // the time at the left edge
  gridFraction: 0.25,
  blocks: [],        // [start, end, word, line]
  lanes: [],         // words, top to bottom
  selected: new Set(),  // lines
  tempo: [],         // [[beat, ms, bpm], ...]: the tempo from each beat on; none: a grid of seconds
  duration: 1,
  playing: false,
  playhead: 0,
  loop: null,        // [a, b) or null
  frames: 0,
  drawnRevision: 0,
  follow: true,
};

const audio = { context: null, buffer: null, source: null, startedAt: 0, startPos: 0, peaks: null, name: '' };

// The tempo map, as the timeline library keeps it: beats to milliseconds and back.
function segmentAt(at, key) {
  let found = view.tempo[0];
  for (const s of view.tempo) if (at >= s[key]) found = s;
  return found;
}
function msAtBeat(beat) {
  if (!view.tempo.length) return beat * 1000;
  const s = segmentAt(beat, 0);
  return s[1] + (beat - s[0]) * 60000 / s[2];
}
function beatAtMs(ms) {
  if (!view.tempo.length) return ms / 1000;
  const s = segmentAt(ms, 1);
  return s[0] + (ms - s[1]) * s[2] / 60000;
}
function beatMs(at) { return view.tempo.length ? 60000 / segmentAt(at === undefined ? view.playhead : at, 1)[2] : 1000; }
function stepMs(at) { return beatMs(at) * view.gridFraction; }
function snap(ms) { return msAtBeat(Math.round(beatAtMs(ms) / view.gridFraction) * view.gridFraction); }
function xOf(ms) { return (ms - view.scrollMs) * view.pxPerMs + kLabelWidth; }
function msOf(x) { return (x - kLabelWidth) / view.pxPerMs + view.scrollMs; }
function laneOf(word) {
  const i = view.lanes.indexOf(word);
  return i < 0 ? 0 : i;
}
function beatsText(ms) {
  if (!view.tempo.length) return Math.round(ms) + ' ms';
  return (Math.round(beatAtMs(ms) * 1000) / 1000) + 'b';
}

// ---------------------------------------------------------------------------------------------
// Undo: one entry per gesture, the whole text before it, so that undo gives it back byte for byte.
const history = {
  undo: [], redo: [],
  typingSince: 0,
  before(text) {
    this.undo.push(text);
    this.redo = [];
    if (this.undo.length > 500) this.undo.shift();
  },
  back() {
    if (!this.undo.length) return;
    const text = this.undo.pop();
    this.redo.push(doc.text());
    if (doc.open(text)) refresh(true);
  },
  forth() {
    if (!this.redo.length) return;
    const text = this.redo.pop();
    this.undo.push(doc.text());
    if (doc.open(text)) refresh(true);
  },
};

// One gesture: `edits` runs the module's edits; all of it or none of it happens.
function gesture(edits) {
  const before = doc.text();
  let ok = true;
  try {
    ok = edits() !== false;
  } catch (e) {
    ok = false;
    say(String(e));
  }
  if (!ok) {
    say(doc.error());
    doc.open(before);
    refresh(false);
    return false;
  }
  if (doc.text() === before) return true;
  history.before(before);
  refresh(true);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing the lanes.
const lanesEl = $('lanes'), blocksEl = $('blocks'), backdrop = $('backdrop'), rulerEl = $('ruler');
let blockEls = [];

function laneWords(blocks) {
  const present = new Set(blocks.map((b) => b[2]));
  const order = kDrawing.concat(kPulses, ['fade']);
  const lanes = order.filter((w) => present.has(w));
  for (const w of present) if (!order.includes(w)) lanes.push(w);
  return lanes.length ? lanes : ['water_thing'];
}

function kindOf(word) {
  if (kDrawing.includes(word)) return 'drawing';
  if (kPulses.includes(word)) return 'pulse';
  return word === 'fade' ? 'fade' : 'other';
}

// After a change of the document: blocks, lanes, text, and the intro's picture.
function refresh(fromLanes) {
  view.blocks = doc.blocks();
  view.tempo = doc.grid().segments;
  view.duration = Math.max(1, ...view.blocks.map((b) => b[1]));
  view.lanes = laneWords(view.blocks);
  const lines = new Set(view.blocks.map((b) => b[3]));
  for (const line of [...view.selected]) if (!lines.has(line)) view.selected.delete(line);
  buildBlocks();
  if (fromLanes !== false) {
    // The text pane follows on the next frame: a long text lays out slower than a frame, and the
    // lanes must not wait for it.
    cancelAnimationFrame(refresh.textFrame);
    refresh.textFrame = requestAnimationFrame(() => {
      const text = $('text'), now = doc.text();
      if (text.value === now) return;
      const top = text.scrollTop;
      text.value = now;
      text.scrollTop = top;
    });
    $('error').textContent = '';
  }
  keepDraft();
  if (!view.playing) requestStill();
  draw();
}

// The height of all the lanes, which scroll up and down when they are more than the view holds.
function lanesHeight() { return view.lanes.length * kLaneHeight; }

function buildBlocks() {
  const labels = $('labels');
  labels.textContent = '';
  labels.style.height = lanesHeight() + 'px';
  view.lanes.forEach((word, i) => {
    const label = document.createElement('div');
    label.className = 'label';
    label.style.top = (i * kLaneHeight + 4) + 'px';
    label.textContent = word;
    labels.appendChild(label);
  });
  // One element per block, reused across refreshes.
  while (blockEls.length < view.blocks.length) {
    const el = document.createElement('div');
    el.tabIndex = 0;
    el.setAttribute('role', 'button');
    blocksEl.appendChild(el);
    blockEls.push(el);
  }
  while (blockEls.length > view.blocks.length) blockEls.pop().remove();
  // Only what changed is written: an edit of one block among thousands touches one element.
  const layoutKey = view.pxPerMs + ' ' + view.scrollMs + ' ' + view.lanes.join(' ');
  const tempoKey = JSON.stringify(view.tempo);
  view.blocks.forEach((b, i) => {
    const el = blockEls[i];
    const [start, end, word, line] = b;
    const key = start + ' ' + end + ' ' + word + ' ' + line + ' ' + i + ' ' + view.selected.has(line) + tempoKey;
    if (el.kanduKey !== key) {
      el.kanduKey = key;
      el.className = 'block ' + kindOf(word) + (view.selected.has(line) ? ' selected' : '');
      el.dataset.startMs = start;
      el.dataset.endMs = end;
      el.dataset.word = word;
      el.dataset.line = line;
      el.dataset.index = i;
      el.textContent = word;
      el.setAttribute('aria-label', word + ', ' + beatsText(start) + ' to ' + beatsText(end));
      el.kanduLayout = '';
    }
    if (el.kanduLayout !== layoutKey) placeBlock(el, b, layoutKey);
  });
}

function placeBlock(el, b, layoutKey) {
  el.kanduLayout = layoutKey;
  el.style.transform = 'translate(' + xOf(b[0]) + 'px,' + (laneOf(b[2]) * kLaneHeight + 3) + 'px)';
  el.style.width = Math.max(3, (b[1] - b[0]) * view.pxPerMs) + 'px';
}

// Every block where the zoom and scroll put it.
function layoutBlocks() {
  const layoutKey = view.pxPerMs + ' ' + view.scrollMs + ' ' + view.lanes.join(' ');
  view.blocks.forEach((b, i) => placeBlock(blockEls[i], b, layoutKey));
}

// The backdrop (waveform, grid, lane stripes) covers the part of the lanes in view, wherever they
// are scrolled to, and is drawn again only when what it shows changed: an edit of a block among
// thousands redraws nothing of it.
let backdropKey = '';
function draw() {
  const width = lanesEl.clientWidth, height = lanesEl.clientHeight, top = lanesEl.scrollTop;
  const key = [width, height, top, view.pxPerMs, view.scrollMs, view.gridFraction, view.lanes.length,
               JSON.stringify(view.tempo), audio.peaks ? audio.peaks.serial : 0].join(' ');
  if (key !== backdropKey) {
    backdropKey = key;
    if (backdrop.width !== width || backdrop.height !== height) {
      backdrop.width = width;
      backdrop.height = height;
    }
    backdrop.style.top = top + 'px';
    const g = backdrop.getContext('2d');
    g.clearRect(0, 0, width, height);
    drawWaveform(g, width, height);
    drawGrid(g, width, height);
    g.fillStyle = 'rgba(255,255,255,0.04)';
    for (let i = Math.floor(top / kLaneHeight); i < view.lanes.length && i * kLaneHeight < top + height; ++i)
      if (i % 2) g.fillRect(0, i * kLaneHeight - top, width, kLaneHeight);
    $('playhead').style.height = Math.max(height, lanesHeight()) + 'px';
  }
  drawRuler(width);
  drawPlayhead();
}

// Lines at every grid step, beat and bar (4 beats) of the tempo map, thinned where they crowd.
function drawGrid(g, width, height) {
  const frac = view.gridFraction;
  const first = Math.floor(beatAtMs(view.scrollMs) / frac), last = Math.ceil(beatAtMs(msOf(width)) / frac);
  for (let k = Math.max(first, view.tempo.length ? 0 : first); k <= last; ++k) {
    const beats = k * frac, ms = msAtBeat(beats), x = Math.round(xOf(ms)) + 0.5;
    const onBeat = Math.abs(beats - Math.round(beats)) < 1e-6, onBar = onBeat && Math.round(beats) % 4 === 0;
    const px = stepMs(ms) * view.pxPerMs;
    if (!onBeat && px < 6) continue;
    if (onBeat && !onBar && px / frac < 4) continue;
    g.strokeStyle = onBar ? 'rgba(255,255,255,0.35)' : onBeat ? 'rgba(255,255,255,0.16)' : 'rgba(255,255,255,0.07)';
    g.beginPath();
    g.moveTo(x, 0);
    g.lineTo(x, height);
    g.stroke();
  }
}

// Peaks once per music: the extremes of every 256 samples, and of every 16 of those.
function computePeaks(buffer) {
  const data = buffer.getChannelData(0), other = buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : data;
  const fine = Math.ceil(data.length / 256), peaks = new Float32Array(fine * 2);
  for (let p = 0; p < fine; ++p) {
    let lo = 0, hi = 0;
    for (let i = p * 256, end = Math.min(data.length, i + 256); i < end; ++i) {
      const v = (data[i] + other[i]) * 0.5;
      if (v < lo) lo = v; else if (v > hi) hi = v;
    }
    peaks[2 * p] = lo;
    peaks[2 * p + 1] = hi;
  }
  const coarse = Math.ceil(fine / 16), coarsePeaks = new Float32Array(coarse * 2);
  for (let p = 0; p < coarse; ++p) {
    let lo = 0, hi = 0;
    for (let i = p * 16; i < Math.min(fine, p * 16 + 16); ++i) {
      lo = Math.min(lo, peaks[2 * i]);
      hi = Math.max(hi, peaks[2 * i + 1]);
    }
    coarsePeaks[2 * p] = lo;
    coarsePeaks[2 * p + 1] = hi;
  }
  computePeaks.serial = (computePeaks.serial || 0) + 1;
  return { rate: buffer.sampleRate, serial: computePeaks.serial,
           levels: [{ per: 256, peaks }, { per: 4096, peaks: coarsePeaks }] };
}

function drawWaveform(g, width, height) {
  if (!audio.peaks) return;
  const samplesPerPx = audio.peaks.rate / 1000 / view.pxPerMs;
  const level = samplesPerPx >= 4096 * 2 ? audio.peaks.levels[1] : audio.peaks.levels[0];
  const count = level.peaks.length / 2, mid = height / 2, scale = height / 2 - 4;
  g.fillStyle = 'rgba(90,140,200,0.35)';
  for (let x = 0; x < width; ++x) {
    const from = Math.floor(msOf(x) * audio.peaks.rate / 1000 / level.per);
    const to = Math.max(from + 1, Math.floor(msOf(x + 1) * audio.peaks.rate / 1000 / level.per));
    if (to <= 0 || from >= count) continue;
    let lo = 0, hi = 0;
    for (let p = Math.max(0, from); p < Math.min(count, to); ++p) {
      lo = Math.min(lo, level.peaks[2 * p]);
      hi = Math.max(hi, level.peaks[2 * p + 1]);
    }
    g.fillRect(x, mid - hi * scale, 1, Math.max(1, (hi - lo) * scale));
  }
}

function drawRuler(width) {
  rulerEl.textContent = '';
  let every = 1;
  while (beatMs(view.scrollMs) * every * view.pxPerMs < 50) every *= 2;
  for (let k = Math.floor(Math.max(0, beatAtMs(view.scrollMs)) / every); ; ++k) {
    const ms = msAtBeat(k * every);
    if (xOf(ms) >= width) break;
    if (ms < 0) continue;
    const tick = document.createElement('div');
    tick.className = 'tick';
    tick.style.left = xOf(ms) + 'px';
    tick.textContent = view.tempo.length ? (k * every) + 'b' : (k * every) + 's';
    rulerEl.appendChild(tick);
  }
  if (view.loop) {
    const band = document.createElement('div');
    band.className = 'loop';
    band.style.left = xOf(view.loop[0]) + 'px';
    band.style.width = (view.loop[1] - view.loop[0]) * view.pxPerMs + 'px';
    rulerEl.appendChild(band);
  }
}

function drawPlayhead() {
  $('playhead').style.transform = 'translateX(' + xOf(view.playhead) + 'px)';
}

// What happened (saved, refused, cannot decode): stays until the next message.
function say(text) { $('message').textContent = text; }

// ---------------------------------------------------------------------------------------------
// Playing.
function position() { return K._kandu_web_position(); }

function stopSound() {
  if (audio.source) {
    audio.source.onended = null;
    audio.source.stop();
    audio.source = null;
  }
}

function startSound() {
  stopSound();
  if (!audio.buffer || !view.playing || !audio.context) return;
  const source = audio.context.createBufferSource();
  source.buffer = audio.buffer;
  source.connect(audio.context.destination);
  if (view.loop) {
    source.loop = true;
    source.loopStart = view.loop[0] / 1000;
    source.loopEnd = view.loop[1] / 1000;
  }
  audio.startPos = position();
  audio.startedAt = audio.context.currentTime;
  source.start(0, audio.startPos / 1000);
  audio.source = source;
}

// Where the sound is now, wrapped into the loop as WebAudio wraps it.
function soundPosition() {
  let ms = audio.startPos + (audio.context.currentTime - audio.startedAt) * 1000;
  if (view.loop && ms >= view.loop[1]) ms = view.loop[0] + (ms - view.loop[0]) % (view.loop[1] - view.loop[0]);
  return ms;
}

function ensureAudio() {
  if (!audio.context) audio.context = new AudioContext({ sampleRate: 48000 });
  if (audio.context.state === 'suspended') audio.context.resume();
}

function setPlaying(playing) {
  if (playing) ensureAudio();
  view.playing = playing;
  K._kandu_web_set_paused(playing ? 0 : 1);
  hideStill();
  if (playing) startSound(); else { stopSound(); requestStill(); }
}

// Scrolls so that the playhead shows, when following it.
function reveal() {
  const x = xOf(view.playhead);
  if (!view.follow || (x >= 0 && x <= lanesEl.clientWidth - 40)) return false;
  view.scrollMs = Math.max(0, view.playhead - 40 / view.pxPerMs);
  layoutBlocks();
  draw();
  return true;
}

function seek(ms) {
  K._kandu_web_seek(Math.max(0, ms));
  view.playhead = position();
  if (!scrub) reveal();
  if (view.playing) startSound();
  else {
    K._kandu_web_frame(view.playhead);
    view.drawnRevision = doc.revision;
    requestStill();
  }
  drawPlayhead();
}

// A short piece of the music at the scrubbed place, so that scrubbing is heard.
function scrubSound(ms) {
  if (!audio.buffer || view.playing) return;
  ensureAudio();
  const source = audio.context.createBufferSource();
  source.buffer = audio.buffer;
  source.connect(audio.context.destination);
  source.start(0, ms / 1000, 0.08);
}

function setLoop(range) {
  view.loop = range && range[1] - range[0] >= 1 ? range : null;
  if (view.loop) K._kandu_web_set_loop(view.loop[0], view.loop[1], 1);
  else K._kandu_web_set_loop(0, 0, 0);
  view.playhead = position();
  if (view.playing) startSound();
  draw();
}

function tick(now) {
  const elapsed = now - (tick.last || now);
  tick.last = now;
  if (view.playing) {
    const soundMs = audio.source ? soundPosition() : -1;
    const wrapped = K._kandu_web_tick(soundMs, elapsed) !== 0;
    view.frames++;
    view.drawnRevision = doc.revision;
    if (wrapped && audio.source && !view.loop) startSound();
    view.playhead = position();
    if (!view.loop && view.playhead >= view.duration - 1) setPlaying(false);
    if (!reveal()) drawPlayhead();
  }
  $('status').textContent = (view.playing ? '▶ ' : '❚❚ ') + K.ccall('kandu_web_title', 'string', [], []) +
      (view.loop ? '  loop ' + beatsText(view.loop[0]) + '–' + beatsText(view.loop[1]) : '');
  requestAnimationFrame(tick);
}

// While paused the picture is the exact still, as kandu-player still --at draws it: a fresh intro
// (a module of its own on a canvas of its own) pre-rolls every earlier frame. The live frame shows
// meanwhile.
let stillTimer = 0, stillSerial = 0, stillShown = null;
function requestStill() {
  clearTimeout(stillTimer);
  stillTimer = setTimeout(renderStill, 120);
}
function hideStill() {
  clearTimeout(stillTimer);
  ++stillSerial;
  if (stillShown) stillShown.style.visibility = 'hidden';
}
async function renderStill() {
  if (view.playing || !K) return;
  const serial = ++stillSerial, at = Math.floor(position()), text = doc.bytes();
  const canvas = document.createElement('canvas');
  canvas.width = 1024;
  canvas.height = 768;
  canvas.id = 'still-' + serial;
  canvas.style.visibility = 'hidden';
  $('still-slot').appendChild(canvas);
  let module = null;
  try {
    module = await createKandu({ canvas, print: () => {}, printErr: () => {} });
    if (serial !== stillSerial) throw new Error('superseded');
    const started = kanduWithBytes(module, text, (at, length) => module.ccall('kandu_web_start', 'number',
      ['number', 'number', 'string', 'string'], [at, length, doc.source, '#' + canvas.id]));
    if (started !== 0)
      throw new Error(module.ccall('kandu_web_error', 'string', [], []));
    module._kandu_web_still(at);
    if (serial !== stillSerial) throw new Error('superseded');
  } catch (e) {
    canvas.remove();
    if (String(e.message || e) !== 'superseded') say('still: ' + e);
    return;
  }
  canvas.style.visibility = 'visible';
  canvas.dataset.atMs = at;
  if (stillShown) stillShown.remove();
  stillShown = canvas;
}

// ---------------------------------------------------------------------------------------------
// Editing in the lanes.
function blockAt(el) {
  const i = Number(el.dataset.index);
  return view.blocks[i];
}

function select(line, add) {
  const before = new Set(view.selected);
  if (!add) view.selected.clear();
  if (add && view.selected.has(line)) view.selected.delete(line); else view.selected.add(line);
  view.selected.delete(-1);
  // Only the blocks whose selection changed are touched.
  const changed = new Set([...before].filter((l) => !view.selected.has(l)).concat([...view.selected].filter((l) => !before.has(l))));
  if (changed.size) {
    view.blocks.forEach((b, i) => {
      if (!changed.has(b[3])) return;
      blockEls[i].classList.toggle('selected', view.selected.has(b[3]));
      blockEls[i].kanduKey = '';
    });
  }
  const words = new Set(view.blocks.filter((b) => view.selected.has(b[3])).map((b) => b[2]));
  $('word').value = words.size === 1 ? [...words][0] : '';
}

// Lines from the last to the first, so that removing or inserting lines keeps the others' numbers.
function firstSelectedStart() {
  const b = view.blocks.find((x) => view.selected.has(x[3]));
  return b ? b[0] : view.playhead;
}

function selectedLinesDescending() { return [...view.selected].sort((a, b) => b - a); }

function moveSelection(deltaMs) {
  const lines = [...view.selected];
  if (!lines.length) return;
  gesture(() => lines.every((line) => doc.edit('kandu_doc_move', ['number', 'number'], [line, deltaMs])));
}

function resizeSelection(deltaMs) {
  const lines = [...view.selected];
  if (!lines.length) return;
  gesture(() => lines.every((line) => {
    const first = view.blocks.find((b) => b[3] === line);
    const end = Math.max(first[0] + stepMs(first[0]), first[1] + deltaMs);
    return doc.edit('kandu_doc_edge', ['number', 'number', 'number'], [line, 1, end]);
  }));
}

function duplicateSelection() {
  const lines = selectedLinesDescending();
  if (!lines.length) return;
  gesture(() => lines.every((line) => doc.edit('kandu_doc_duplicate', ['number'], [line])));
  view.selected = new Set(lines.map((line, i) => line + 1 + (lines.length - 1 - i)));
  buildBlocks();
}

function deleteSelection() {
  const lines = selectedLinesDescending();
  if (!lines.length) return;
  gesture(() => lines.every((line) => doc.edit('kandu_doc_delete', ['number'], [line])));
  view.selected.clear();
  buildBlocks();
}

function setWordOfSelection(word) {
  const lines = [...view.selected];
  if (!lines.length || !word) return;
  gesture(() => lines.every((line) => doc.edit('kandu_doc_word', ['number', 'string'], [line, word])));
}

function addBlock(word) {
  const start = Math.max(0, snap(position()));
  gesture(() => doc.edit('kandu_doc_insert', ['number', 'number', 'string'], [start, msAtBeat(beatAtMs(start) + 1), word]));
  const last = view.blocks.length ? view.blocks[view.blocks.length - 1][3] : 0;
  select(last, false);
}

function insertTime(remove) {
  const at = Math.max(0, snap(position()));
  gesture(() => doc.edit(remove ? 'kandu_doc_remove_time' : 'kandu_doc_insert_time', ['number', 'number'],
                         [at, stepMs(at)]));
}

// Pointer gestures on the lanes: move, resize, or a selection band. (A pointer the browser does not
// know, as a script's, cannot be captured; its moves still come to the element.)
let drag = null, scrub = null;
function capture(el, event) {
  try { el.setPointerCapture(event.pointerId); } catch (e) { /* not a live pointer */ }
}
lanesEl.addEventListener('pointerdown', (event) => {
  if (event.button !== 0) return;
  lanesEl.focus({ preventScroll: true });
  const el = event.target.closest('.block');
  const rect = lanesEl.getBoundingClientRect();
  const x = event.clientX - rect.left;
  if (!el) {
    if (!event.shiftKey) select(-1, false);
    drag = { kind: 'band', x0: x, y0: event.clientY - rect.top + lanesEl.scrollTop };
    capture(lanesEl, event);
    return;
  }
  const block = blockAt(el), line = block[3];
  if (event.shiftKey) select(line, true);
  else if (!view.selected.has(line)) select(line, false);
  const left = xOf(block[0]), right = xOf(block[1]);
  const kind = x - left < 6 && right - left > 14 ? 'start' : right - x < 6 && right - left > 14 ? 'end' : 'move';
  const moving = view.blocks.map((b, i) => [b, blockEls[i]]).filter(([b]) => view.selected.has(b[3]));
  drag = { kind, x0: x, block, el, line, delta: 0, moving };
  capture(lanesEl, event);
  event.preventDefault();
});

lanesEl.addEventListener('pointermove', (event) => {
  if (!drag) return;
  const rect = lanesEl.getBoundingClientRect();
  const x = event.clientX - rect.left, raw = (x - drag.x0) / view.pxPerMs;
  if (drag.kind === 'band') {
    const band = $('band'), y = event.clientY - rect.top + lanesEl.scrollTop;
    band.hidden = false;
    band.style.left = Math.min(x, drag.x0) + 'px';
    band.style.top = Math.min(y, drag.y0) + 'px';
    band.style.width = Math.abs(x - drag.x0) + 'px';
    band.style.height = Math.abs(y - drag.y0) + 'px';
    drag.x1 = x;
    drag.y1 = y;
    return;
  }
  const step = stepMs(drag.block[0]);
  if (drag.kind === 'move') {
    // Moved by whole grid steps (Alt: freely), so a block keeps its place on the grid.
    drag.delta = event.altKey ? raw : Math.round(raw / step) * step;
    const dx = drag.delta * view.pxPerMs;
    for (const [b, el] of drag.moving)
      el.style.transform = 'translate(' + (xOf(b[0]) + dx) + 'px,' + (laneOf(b[2]) * kLaneHeight + 3) + 'px)';
  } else {
    const b = drag.block, edge = drag.kind === 'start' ? b[0] : b[1];
    let to = event.altKey ? edge + raw : snap(edge + raw);
    if (drag.kind === 'start') to = Math.min(to, b[1] - step);
    else to = Math.max(to, b[0] + step);
    drag.delta = to - edge;
    const start = drag.kind === 'start' ? to : b[0], end = drag.kind === 'end' ? to : b[1];
    drag.el.style.transform = 'translate(' + xOf(start) + 'px,' + (laneOf(b[2]) * kLaneHeight + 3) + 'px)';
    drag.el.style.width = Math.max(3, (end - start) * view.pxPerMs) + 'px';
  }
});

lanesEl.addEventListener('pointerup', () => {
  if (!drag) return;
  const d = drag;
  drag = null;
  if (d.kind === 'band') {
    $('band').hidden = true;
    if (d.x1 === undefined) return;
    const from = msOf(Math.min(d.x0, d.x1)), to = msOf(Math.max(d.x0, d.x1));
    const top = Math.min(d.y0, d.y1), bottom = Math.max(d.y0, d.y1);
    for (const b of view.blocks) {
      const y = laneOf(b[2]) * kLaneHeight + 3;
      if (b[1] > from && b[0] < to && y + 20 > top && y < bottom) view.selected.add(b[3]);
    }
    buildBlocks();
    return;
  }
  if (Math.abs(d.delta) < 1e-9) {
    layoutBlocks();
    return;
  }
  if (d.kind === 'move') {
    const lines = [...new Set(d.moving.map(([b]) => b[3]))];
    gesture(() => lines.every((line) => doc.edit('kandu_doc_move', ['number', 'number'], [line, d.delta])));
  } else {
    // An edge of a repeat's copy is the rule's edge: the first copy's moves as much.
    const first = view.blocks.find((b) => b[3] === d.line);
    const edge = (d.kind === 'start' ? first[0] : first[1]) + d.delta;
    gesture(() => doc.edit('kandu_doc_edge', ['number', 'number', 'number'], [d.line, d.kind === 'end' ? 1 : 0, edge]));
  }
});

lanesEl.addEventListener('dblclick', (event) => {
  const el = event.target.closest('.block');
  if (el) seek(blockAt(el)[0]);
});

lanesEl.addEventListener('wheel', (event) => {
  event.preventDefault();
  if (event.ctrlKey || event.metaKey) {
    const rect = lanesEl.getBoundingClientRect(), at = msOf(event.clientX - rect.left);
    zoom(event.deltaY < 0 ? 1.25 : 0.8, at);
  } else if (event.shiftKey) {
    lanesEl.scrollTop += event.deltaY + event.deltaX;  // up and down the lanes
  } else {
    view.scrollMs = Math.max(0, view.scrollMs + (event.deltaY + event.deltaX) / view.pxPerMs);
    layoutBlocks();
    draw();
  }
}, { passive: false });

// Up and down the lanes (the scroll bar, Shift+wheel, a block given focus): the backdrop follows.
// Time scrolls by view.scrollMs alone, never sideways.
lanesEl.addEventListener('scroll', () => {
  if (lanesEl.scrollLeft) lanesEl.scrollLeft = 0;
  draw();
});

function zoom(factor, aroundMs) {
  const x = xOf(aroundMs);
  view.pxPerMs = Math.min(4, Math.max(0.002, view.pxPerMs * factor));
  view.scrollMs = Math.max(0, aroundMs - (x - kLabelWidth) / view.pxPerMs);
  layoutBlocks();
  draw();
}

// The ruler: click or drag to scrub, Shift+drag to set the loop, Shift+click to clear it.
rulerEl.addEventListener('pointerdown', (event) => {
  const rect = rulerEl.getBoundingClientRect(), ms = Math.max(0, msOf(event.clientX - rect.left));
  capture(rulerEl, event);
  if (event.shiftKey) {
    scrub = { loop: true, from: snap(ms), moved: false };
  } else {
    scrub = { loop: false };
    seek(ms);
    scrubSound(ms);
  }
});
rulerEl.addEventListener('pointermove', (event) => {
  if (!scrub) return;
  const rect = rulerEl.getBoundingClientRect(), ms = Math.max(0, msOf(event.clientX - rect.left));
  if (scrub.loop) {
    scrub.moved = true;
    const to = snap(ms);
    view.loop = [Math.min(scrub.from, to), Math.max(scrub.from, to)];
    drawRuler(lanesEl.clientWidth);
  } else {
    seek(ms);
    scrubSound(ms);
  }
});
rulerEl.addEventListener('pointerup', () => {
  if (scrub && scrub.loop) setLoop(scrub.moved ? view.loop : null);
  scrub = null;
});

// Keys act while the lanes (or a block in them) have focus, never while typing in the text.
function command(event) { return isMac ? event.metaKey : event.ctrlKey; }
$('timeline').addEventListener('keydown', (event) => {
  const key = event.key;
  let handled = true;
  if (key === ' ') setPlaying(!view.playing);
  else if (command(event) && key.toLowerCase() === 'z') event.shiftKey ? history.forth() : history.back();
  else if (command(event) && key.toLowerCase() === 'y') history.forth();
  else if (command(event) && key.toLowerCase() === 'd') duplicateSelection();
  else if (key === 'Delete' || key === 'Backspace') deleteSelection();
  else if (key === 'ArrowLeft' || key === 'ArrowRight') {
    const d = (key === 'ArrowLeft' ? -1 : 1) * stepMs(firstSelectedStart());
    event.shiftKey ? resizeSelection(d) : moveSelection(d);
  } else if (key === 'i' || key === 'I') insertTime(event.shiftKey);
  else if (key === '+' || key === '=') zoom(1.25, view.playhead);
  else if (key === '-') zoom(0.8, view.playhead);
  else if (key === 'Home') seek(0);
  else if (key === 'Enter' && event.target.classList.contains('block')) select(Number(event.target.dataset.line), event.shiftKey);
  else if (key === '?') $('keys').showModal();
  else handled = false;
  if (handled) event.preventDefault();
});

document.addEventListener('keydown', (event) => {
  if (command(event) && event.key.toLowerCase() === 's') {
    event.preventDefault();
    save();
  }
});

// ---------------------------------------------------------------------------------------------
// The text beside the lanes: a text that parses replaces the document at once; one that does not
// shows its FILE:LINE error while the last good timeline plays on.
let typingTimer = 0, typingBefore = null;
$('text').addEventListener('input', () => {
  const text = $('text').value;
  if (typingBefore === null) typingBefore = doc.text();
  clearTimeout(typingTimer);
  typingTimer = setTimeout(() => { typingBefore = null; }, 1000);  // a burst of typing is one undo step
  const before = doc.text();
  if (doc.open(text)) {
    if (history.undo[history.undo.length - 1] !== typingBefore || history.typingSince !== typingTimer) {
      history.before(typingBefore);
      history.typingSince = typingTimer;
    }
    refresh(false);
    $('error').textContent = '';
  } else {
    $('error').textContent = doc.error();
    if (doc.text() !== before) doc.open(before);
  }
});

// ---------------------------------------------------------------------------------------------
// Files: open, drop, save, and the draft kept in this browser.
let fileHandle = null, fileModified = 0, fileName = 'demo.timeline';

async function openText(text, name) {
  if (!doc.open(text, name)) {
    $('error').textContent = doc.error();
    if (typeof text === 'string' || text.length <= K._kandu_web_max_timeline_bytes())
      $('text').value = typeof text === 'string' ? text : new TextDecoder('utf-8', { ignoreBOM: true }).decode(text);
    return false;
  }
  fileName = name.split('/').pop() || fileName;
  history.undo = [];
  history.redo = [];
  view.selected.clear();
  refresh(true);
  offerDraft();
  return true;
}

async function openMusic(blob, name) {
  ensureAudio();
  // The length first, from the file's header (nothing decoded yet): music longer than the editor
  // holds is refused with a message rather than decoded into more memory than a tab has.
  const minutes = await new Promise((resolve) => {
    const probe = new Audio();
    const url = URL.createObjectURL(blob);
    probe.preload = 'metadata';
    probe.onloadedmetadata = () => { URL.revokeObjectURL(url); resolve(probe.duration / 60); };
    probe.onerror = () => { URL.revokeObjectURL(url); resolve(NaN); };
    probe.src = url;
  });
  if (minutes > kMaxMusicMinutes) {
    say(name + ' is ' + Math.round(minutes) + ' minutes long; the editor plays music up to ' + kMaxMusicMinutes +
        ' minutes (kandu-player plays it all)');
    return false;
  }
  try {
    audio.buffer = await audio.context.decodeAudioData(await blob.arrayBuffer());
  } catch (e) {
    say('no sound: ' + name + ': ' + e);
    return false;
  }
  audio.name = name;
  audio.peaks = computePeaks(audio.buffer);
  if (view.playing) startSound();
  draw();
  return true;
}

async function openFiles(files) {
  for (const file of files) {
    if (/^audio\//.test(file.type) || /\.(wav|ogg|opus|mp3|flac|m4a)$/i.test(file.name)) await openMusic(file, file.name);
    else {
      await openText(new Uint8Array(await file.arrayBuffer()), file.name);
      fileHandle = file.handle || null;
      fileModified = file.lastModified;
    }
  }
}

$('open').addEventListener('click', async () => {
  if (window.showOpenFilePicker) {
    try {
      const handles = await window.showOpenFilePicker({ multiple: true });
      const files = [];
      for (const handle of handles) {
        const file = await handle.getFile();
        file.handle = handle;
        files.push(file);
      }
      await openFiles(files);
    } catch (e) {
      if (e.name !== 'AbortError') say(String(e));
    }
  } else {
    $('files').click();
  }
});
$('files').addEventListener('change', () => openFiles([...$('files').files]));
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', async (event) => {
  event.preventDefault();
  const files = [];
  for (const item of event.dataTransfer.items) {
    const file = item.getAsFile();
    if (!file) continue;
    if (item.getAsFileSystemHandle) {
      try { file.handle = await item.getAsFileSystemHandle(); } catch (e) { /* no handle: save downloads */ }
    }
    files.push(file);
  }
  await openFiles(files);
});

// Writes back to the opened file where the browser allows it (never over a file changed on disk
// since it was opened, unless asked), else downloads the timeline under its name.
async function save() {
  const text = doc.bytes();  // the document's bytes, as they will be on the disk
  if (fileHandle && fileHandle.createWritable) {
    try {
      const onDisk = await fileHandle.getFile();
      if (onDisk.lastModified !== fileModified &&
          !confirm(fileName + ' has changed on disk since it was opened. Overwrite it?')) {
        say('not saved: ' + fileName + ' changed on disk');
        return false;
      }
      const writable = await fileHandle.createWritable();
      await writable.write(text);
      await writable.close();
      fileModified = (await fileHandle.getFile()).lastModified;
      say('saved ' + fileName);
      clearDraft();
      return true;
    } catch (e) {
      say('cannot save to ' + fileName + ' (' + e + '); downloading instead');
    }
  }
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  link.download = fileName;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  say('downloaded ' + fileName);
  clearDraft();
  return true;
}
$('save').addEventListener('click', save);

const kDraftKey = 'kandu-editor-draft';
let draftTimer = 0, draftOpened = '';
function keepDraft() {
  clearTimeout(draftTimer);
  draftTimer = setTimeout(() => {
    if (doc.text() === draftOpened) return;
    try {
      localStorage.setItem(kDraftKey, JSON.stringify({ name: fileName, text: doc.text(), when: Date.now() }));
    } catch (e) { /* storage full or off: no draft */ }
  }, 500);
}
function clearDraft() {
  try { localStorage.removeItem(kDraftKey); } catch (e) { /* nothing kept */ }
  draftOpened = doc.text();
}
// A draft of the same file is offered, never taken over without asking.
function offerDraft() {
  draftOpened = doc.text();
  let draft = null;
  try { draft = JSON.parse(localStorage.getItem(kDraftKey) || 'null'); } catch (e) { draft = null; }
  if (!draft || draft.name !== fileName || draft.text === doc.text()) return;
  $('draft-when').textContent = new Date(draft.when).toLocaleString();
  $('draft').hidden = false;
  $('draft-restore').onclick = () => {
    $('draft').hidden = true;
    gesture(() => doc.open(draft.text));
  };
  $('draft-discard').onclick = () => {
    $('draft').hidden = true;
    clearDraft();
  };
}

// ---------------------------------------------------------------------------------------------
// The toolbar.
for (const word of kPalette) {
  const button = document.createElement('button');
  button.textContent = word;
  button.title = 'Add ' + word + ' at the playhead';
  button.addEventListener('click', () => addBlock(word));
  $('palette').appendChild(button);
  const option = document.createElement('option');
  option.value = option.textContent = word;
  $('word').appendChild(option);
}
$('word').insertBefore(new Option('', ''), $('word').firstChild);
$('word').addEventListener('change', () => setWordOfSelection($('word').value));
$('grid').addEventListener('change', () => { view.gridFraction = Number($('grid').value); draw(); });
$('insert-time').addEventListener('click', () => insertTime(false));
$('remove-time').addEventListener('click', () => insertTime(true));
$('follow').addEventListener('change', () => { view.follow = $('follow').checked; });
$('help').addEventListener('click', () => $('keys').showModal());
window.addEventListener('resize', draw);

// ---------------------------------------------------------------------------------------------
// For tests and scripts.
window.kanduEditor = {
  text: () => doc.text(),
  bytes: () => Array.from(doc.bytes()),  // what saving writes
  setText: (text) => {
    const before = doc.text();
    if (!doc.open(text)) return false;
    history.before(before);
    refresh(true);
    return true;
  },
  blocks: () => doc.blocks().map((b) => [b[0], b[1], b[2]]),
  playheadMs: () => position(),
  seek: (ms) => seek(ms),
  pause: () => setPlaying(false),
  play: () => setPlaying(true),
  frames: () => view.frames,
  revision: () => doc.revision,
  drawnRevision: () => view.drawnRevision,
  setLoop: (a, b) => setLoop(a === undefined ? null : [a, b]),
  stillAt: () => (stillShown && stillShown.style.visibility === 'visible' ? Number(stillShown.dataset.atMs) : -1),
  stillPicture: () => (stillShown ? stillShown.toDataURL('image/png') : ''),
  undo: () => history.back(),
  redo: () => history.forth(),
  hasMusic: () => !!audio.peaks,  // music loaded and its waveform worked out
  view,
};

// ---------------------------------------------------------------------------------------------
// Start: the module, then the timeline (?timeline=URL, or the built-in demo with its beat).
async function start() {
  K = await createKandu({ canvas: $('picture'), print: () => {}, printErr: (t) => console.warn(t) });
  window.Module = K;
  const params = new URLSearchParams(location.search);
  const url = params.get('timeline');
  let text = null, source = 'demo.timeline';
  if (url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(url + ': ' + response.status + ' ' + response.statusText);
    text = new Uint8Array(await response.arrayBuffer());  // the bytes as kandu-player reads them
    source = url;
  }
  const startWith = (at, length) =>
    K.ccall('kandu_web_start', 'number', ['number', 'number', 'string', 'string'], [at, length, source, '#picture']);
  if ((text ? kanduWithBytes(K, text, startWith) : startWith(0, 0)) !== 0)
    throw new Error(K.ccall('kandu_web_error', 'string', [], []));
  K._kandu_web_set_paused(1);
  K._kandu_web_set_loop(0, 0, 0);
  // The music: the timeline's own, or the built-in demo's beat made in code.
  const music = K.ccall('kandu_web_music', 'string', [], []);
  if (!url) builtInBeat();
  await openText(text || builtInText(), source);
  if (music) {
    try {
      const response = await fetch(new URL(music, new URL(url, location.href)));
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      await openMusic(await response.blob(), music);
    } catch (e) {
      say('no sound: ' + music + ': ' + e);
    }
  }
  seek(0);
  draw();
  document.title = 'kandu editor — ' + fileName;
  requestAnimationFrame(tick);
}

// The built-in demo's beat, made in code by the module (the demo has no recorded music).
function builtInBeat() {
  ensureAudio();
  audio.buffer = kanduBeatBuffer(K, audio.context);
  if (audio.buffer) audio.peaks = computePeaks(audio.buffer);
}

// The built-in demo as written (with its tempo and repeats): the module keeps it.
function builtInText() { return K.ccall('kandu_web_builtin', 'string', [], []); }

start().catch((e) => {
  $('error').textContent = String(e.message || e);
  window.kanduErrors.push(String(e.message || e));
});
