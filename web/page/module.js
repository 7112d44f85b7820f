// The one way into the WebAssembly module (web/module/api.h): typed wrappers over its functions,
// with text, bytes and numbers converted here and nowhere else. A refused call throws a KanduError
// with the module's own message. Shared by the player's page and the editor.

export class KanduError extends Error {}

// Block kinds as the module numbers them (kandu_word_kind).
export const kWordKinds = ['drawing', 'pulse', 'fading', 'other'];
// Grid line strengths (kandu_grid_lines).
export const kStrengths = ['step', 'beat', 'bar'];

const encoder = new TextEncoder();

export class Kandu {
  // `raw`: what createKandu() resolved to (or a stand-in with the same functions and heaps).
  constructor(raw) { this.raw = raw; }

  // --- Conversions -------------------------------------------------------------------------------
  // Calls `call(pointer, length)` with `data` (a string or bytes) copied into the module's memory,
  // as bytes with their length so that a NUL byte or a byte-order mark arrives as it stands. Data
  // larger than the module takes for a timeline is not copied: only its length goes (the pointer
  // is 0), and the module refuses it with kandu-player's message.
  withBytes(data, call) {
    const bytes = typeof data === 'string' ? encoder.encode(data) : data;
    if (bytes.length > this.raw._kandu_web_max_timeline_bytes()) return call(0, bytes.length);
    return this.withMemory(Math.max(1, bytes.length), (at) => {
      this.raw.HEAPU8.set(bytes, at);
      return call(at, bytes.length);
    });
  }
  // `text` as a NUL-terminated UTF-8 string for the call.
  withString(text, call) {
    const bytes = encoder.encode(String(text));
    return this.withMemory(bytes.length + 1, (at) => {
      this.raw.HEAPU8.set(bytes, at);
      this.raw.HEAPU8[at + bytes.length] = 0;
      return call(at);
    });
  }
  // `numbers` as 32-bit integers for the call.
  withInts(numbers, call) {
    return this.withMemory(Math.max(4, numbers.length * 4), (at) => {
      this.raw.HEAP32.set(Int32Array.from(numbers), at >> 2);
      return call(at, numbers.length);
    });
  }
  withMemory(size, call) {
    const at = this.raw._malloc(size);
    try { return call(at); } finally { this.raw._free(at); }
  }
  // Copies out of the module's memory.
  bytes(pointer, length) { return this.raw.HEAPU8.slice(pointer, pointer + length); }
  // Bytes as text, a byte-order mark kept (as U+FEFF), so that encoding it again gives the bytes.
  text(pointer, length) {
    return new TextDecoder('utf-8', { ignoreBOM: true }).decode(this.raw.HEAPU8.subarray(pointer, pointer + length));
  }
  string(pointer) {
    let end = pointer;
    while (this.raw.HEAPU8[end] !== 0) ++end;
    return this.text(pointer, end - pointer);
  }
  // A function that returns doubles and writes how many groups of `width` through its last argument.
  doubles(width, call) {
    return this.withMemory(4, (countAt) => {
      const at = call(countAt);
      const count = this.raw.HEAP32[countAt >> 2] * width;
      return this.raw.HEAPF64.slice(at >> 3, (at >> 3) + count);
    });
  }
  check(status) { if (status !== 0) throw new KanduError(this.error()); return status; }

  // --- The intro on the page ---------------------------------------------------------------------
  maxTimelineBytes() { return this.raw._kandu_web_max_timeline_bytes(); }
  error() { return this.string(this.raw._kandu_web_error()); }
  // Starts the intro on the canvas `canvas` (a CSS selector) with a timeline's bytes, or with the
  // built-in demo when `bytes` is null.
  start(bytes, source, canvas) {
    const run = (at, length) => this.withString(source || '', (name) =>
      this.withString(canvas || '#picture', (selector) => this.raw._kandu_web_start(at, length, name, selector)));
    this.check(bytes ? this.withBytes(bytes, run) : run(0, 0));
  }
  builtinText() { return this.string(this.raw._kandu_web_builtin()); }
  version() { return this.string(this.raw._kandu_version()); }
  duration() { return this.raw._kandu_web_duration(); }
  // ?at= as kandu-player's --at takes it; throws with the player's words when refused.
  stillAt(text) {
    const at = this.withBytes(text, (p, n) => this.raw._kandu_web_still_at(p, n));
    if (at < 0) throw new KanduError(this.error());
    return at;
  }
  frame(ms) { this.raw._kandu_web_frame(ms); }
  still(ms) { this.raw._kandu_web_still(ms); }
  // The player's keys: 'space', 'left', 'right', 'home'. True when the position jumped.
  key(name) { return this.raw._kandu_web_key(['space', 'left', 'right', 'home'].indexOf(name)) !== 0; }
  paused() { return this.raw._kandu_web_paused() !== 0; }
  // Moves the clock on (to the sound's position when `soundMs` >= 0) and draws; true when play
  // wrapped to the start.
  tick(soundMs, elapsedMs) { return this.raw._kandu_web_tick(soundMs, elapsedMs) !== 0; }
  position() { return this.raw._kandu_web_position(); }
  seek(ms) { this.raw._kandu_web_seek(ms); }
  setPaused(paused) { this.raw._kandu_web_set_paused(paused ? 1 : 0); }
  // Plays [from, to) over and over; null plays the whole timeline once.
  setLoop(range) {
    if (range) this.raw._kandu_web_set_loop(range[0], range[1], 1);
    else this.raw._kandu_web_set_loop(0, 0, 0);
  }
  title() { return this.string(this.raw._kandu_web_title()); }
  words(ms) { return this.string(this.raw._kandu_web_words(ms)); }
  moments() { return Array.from(this.doubles(1, (count) => this.raw._kandu_web_moments(count))); }
  music() { return this.string(this.raw._kandu_web_music()); }
  // The built-in demo's beat: 48 kHz stereo, interleaved; empty for a timeline of the user's.
  beat() {
    return this.withMemory(4, (framesAt) => {
      const at = this.raw._kandu_web_beat(framesAt) >> 2;
      return this.raw.HEAPF32.slice(at, at + this.raw.HEAP32[framesAt >> 2] * 2);
    });
  }

  // --- The editor's document ---------------------------------------------------------------------
  // Reads `data` (a string, or a file's bytes as they are on the disk) as the document.
  open(data, source) {
    this.check(this.withBytes(data, (at, length) =>
      this.withString(source || 'timeline', (name) => this.raw._kandu_doc_open(at, length, name))));
  }
  docText() { return this.text(this.raw._kandu_doc_text(), this.raw._kandu_doc_length()); }
  docBytes() { return this.bytes(this.raw._kandu_doc_text(), this.raw._kandu_doc_length()); }
  // [start, end, word, line] for every block, in file order.
  blocks() {
    const numbers = this.doubles(4, (count) => this.raw._kandu_doc_blocks(count));
    const words = new Map();
    const blocks = [];
    for (let i = 0; i < numbers.length; i += 4) {
      const id = numbers[i + 3];
      if (!words.has(id)) words.set(id, this.string(this.raw._kandu_doc_word(id)));
      blocks.push([numbers[i], numbers[i + 1], words.get(id), numbers[i + 2]]);
    }
    return blocks;
  }
  move(lines, deltaMs) { this.check(this.withInts(lines, (at, n) => this.raw._kandu_doc_move(at, n, deltaMs))); }
  resize(lines, deltaMs, fraction) {
    this.check(this.withInts(lines, (at, n) => this.raw._kandu_doc_resize(at, n, deltaMs, fraction)));
  }
  setEdge(line, isEnd, ms) { this.check(this.raw._kandu_doc_edge(line, isEnd ? 1 : 0, ms)); }
  // The lines of the copies, in the order of `lines`.
  duplicate(lines) {
    return this.withInts(lines, (at, n) => this.withMemory(Math.max(4, n * 4), (copies) => {
      this.check(this.raw._kandu_doc_duplicate(at, n, copies));
      return Array.from(this.raw.HEAP32.subarray(copies >> 2, (copies >> 2) + n));
    }));
  }
  remove(lines) { this.check(this.withInts(lines, (at, n) => this.raw._kandu_doc_delete(at, n))); }
  setWord(lines, word) {
    this.check(this.withInts(lines, (at, n) => this.withString(word, (w) => this.raw._kandu_doc_set_word(at, n, w))));
  }
  insert(startMs, endMs, word) {
    this.check(this.withString(word, (w) => this.raw._kandu_doc_insert(startMs, endMs, w)));
  }
  insertTime(atMs, amountMs) { this.check(this.raw._kandu_doc_insert_time(atMs, amountMs)); }
  removeTime(atMs, amountMs) { this.check(this.raw._kandu_doc_remove_time(atMs, amountMs)); }
  setTempo(bpm, offsetMs) { this.check(this.raw._kandu_doc_tempo(bpm, offsetMs)); }
  pasteTime(fromMs, toMs, atMs) { this.check(this.raw._kandu_doc_paste_time(fromMs, toMs, atMs)); }
  // [{ ms, line, name }] in file order; below, moving between them (the timeline library's rules).
  marks() {
    const numbers = this.doubles(2, (count) => this.raw._kandu_doc_marks(count)), out = [];
    for (let i = 0; i < numbers.length; i += 2)
      out.push({ ms: numbers[i], line: numbers[i + 1], name: this.string(this.raw._kandu_doc_mark_name(i / 2)) });
    return out;
  }
  addMark(ms, name) { this.check(this.withString(name, (n) => this.raw._kandu_doc_add_mark(ms, n))); }
  moveMark(line, ms) { this.check(this.raw._kandu_doc_move_mark(line, ms)); }
  renameMark(line, name) { this.check(this.withString(name, (n) => this.raw._kandu_doc_rename_mark(line, n))); }
  freshMarkName() { return this.string(this.raw._kandu_doc_fresh_mark_name()); }
  markNear(ms, later) { const i = this.raw._kandu_doc_mark_near(ms, later ? 1 : 0); return i < 0 ? null : this.marks()[i]; }
  markRange(ms) {
    const at = this.raw._kandu_doc_mark_range(ms) >> 3, [ok, from, to] = this.raw.HEAPF64.slice(at, at + 3);
    return ok ? [from, to] : null;
  }
  docBlank() { return this.raw._kandu_doc_blank() !== 0; }
  // Replaces `removedLength` bytes at `at` with `inserted` (bytes).
  replace(at, removedLength, inserted) {
    this.check(this.withMemory(Math.max(1, inserted.length), (p) => {
      this.raw.HEAPU8.set(inserted, p);
      return this.raw._kandu_doc_replace(at, removedLength, p, inserted.length);
    }));
  }
  // The last change to the text: { at, removed, inserted } (bytes).
  change() {
    const at = this.raw._kandu_doc_change() >> 3;
    const [from, removed, inserted] = this.raw.HEAPF64.slice(at, at + 3);
    return { at: from, removed: this.bytes(this.raw._kandu_doc_change_removed(), removed),
             inserted: this.bytes(this.raw._kandu_doc_change_inserted(), inserted) };
  }

  // --- Tempo: the detector, fed mono samples (a Float32Array) a piece at a time ---------------------
  tempoBegin(rate) { this.raw._kandu_tempo_begin(rate); }
  tempoFeed(mono) {
    this.withMemory(Math.max(4, mono.length * 4), (at) => {
      this.raw.HEAPF32.set(mono, at >> 2);
      this.raw._kandu_tempo_feed(at, mono.length);
    });
  }
  // { steady, bpm, firstBeatMs, confidence, why }: from what was fed so far (feeding may go on), or at the end.
  tempoSoFar() { return this.estimate(this.raw._kandu_tempo_so_far()); }
  tempoFinish() { return this.estimate(this.raw._kandu_tempo_finish()); }
  estimate(pointer) {
    const [steady, bpm, firstBeatMs, confidence] = this.raw.HEAPF64.slice(pointer >> 3, (pointer >> 3) + 4);
    return { steady: steady !== 0, bpm, firstBeatMs, confidence, why: this.string(this.raw._kandu_tempo_why()) };
  }
  // In the module's words: how sure ("sure: 83%", or unsure and what to try), and the line a
  // timeline takes for a tempo ("tempo 128.00 123": the same line, the same tempo).
  howSure(confidence) { return this.string(this.raw._kandu_tempo_how_sure(confidence)); }
  tempoLine(bpm, firstBeatMs) { return this.string(this.raw._kandu_tempo_line(bpm, firstBeatMs)); }
  // The text of a new timeline for the music `musicName` with `estimate` (tempoFinish's).
  newTimelineText(musicName, estimate) {
    const e = estimate;
    return this.withString(musicName, (name) => this.withString(e.why || '', (why) =>
      this.string(this.raw._kandu_tempo_new_timeline(name, e.steady ? 1 : 0, e.bpm, e.firstBeatMs, e.confidence, why))));
  }
  // A first cut's lines for `mono12k` (a Float32Array at 12 kHz) on the tempo given.
  firstCut(mono12k, bpm, firstBeatMs, pulses) {
    return this.withMemory(Math.max(4, mono12k.length * 4), (at) => {
      this.raw.HEAPF32.set(mono12k, at >> 2);
      return this.withString(pulses.join(','), (p) =>
        this.string(this.raw._kandu_first_cut(at, mono12k.length, bpm, firstBeatMs, p)));
    });
  }
  // Tap tempo over tap times in ms: { ok, bpm, firstMs, taps }.
  tapTempo(times) {
    return this.withMemory(Math.max(8, times.length * 8), (at) => {
      this.raw.HEAPF64.set(Float64Array.from(times), at >> 3);
      const out = this.raw._kandu_tap_fit(at, times.length) >> 3;
      const [ok, bpm, firstMs, taps] = this.raw.HEAPF64.slice(out, out + 4);
      return { ok: ok !== 0, bpm, firstMs, taps };
    });
  }
  // Taps made while playing: the tempo line's first beat, from the first tap's place in the music and on the clock.
  tapFirstBeat(musicMs, clockMs, firstMs, bpm) { return this.raw._kandu_tap_first_beat(musicMs, clockMs, firstMs, bpm); }
  // The document's tempo line: { bpm, offset }, or null without one.
  docTempo() {
    const at = this.raw._kandu_doc_tempo_now() >> 3;
    const [has, bpm, offset] = this.raw.HEAPF64.slice(at, at + 3);
    return has ? { bpm, offset } : null;
  }

  // --- Rules: the effect words and the document's beat grid --------------------------------------
  // [{ word, kind }] in the order an editor lists them.
  effectWords() {
    const words = [];
    for (let i = 0, n = this.raw._kandu_word_count(); i < n; ++i)
      words.push({ word: this.string(this.raw._kandu_word_name(i)), kind: kWordKinds[this.raw._kandu_word_kind(i)] });
    return words;
  }
  hasTempo() { return this.raw._kandu_grid_has_tempo() !== 0; }
  tempoKey() { return this.raw._kandu_grid_tempo_key(); }
  msAt(beat) { return this.raw._kandu_grid_ms_at(beat); }
  beatAt(ms) { return this.raw._kandu_grid_beat_at(ms); }
  // A time as the editor labels it: "8.75b", or "1234 ms" without a tempo.
  timeText(ms) { return this.string(this.raw._kandu_grid_time_text(ms)); }
  // The time `beats` beats after `ms`.
  later(ms, beats) { return this.raw._kandu_grid_later(ms, beats); }
  step(atMs, fraction) { return this.raw._kandu_grid_step(atMs, fraction); }
  snap(ms, fraction) { return this.raw._kandu_grid_snap(ms, fraction); }
  snapMove(atMs, deltaMs, fraction) { return this.raw._kandu_grid_snap_move(atMs, deltaMs, fraction); }
  dragEdge(start, end, isStart, ms, free, fraction) {
    return this.raw._kandu_grid_drag_edge(start, end, isStart ? 1 : 0, ms, free ? 1 : 0, fraction);
  }
  // [{ ms, beat, strength }] for the grid's lines in view, thinned where they crowd.
  gridLines(fromMs, toMs, fraction, minStepMs, minBeatMs) {
    return lines(this.doubles(3, (count) =>
      this.raw._kandu_grid_lines(fromMs, toMs, fraction, minStepMs, minBeatMs, count)));
  }
  // The ruler's labelled ticks, at least `minGapMs` apart.
  ticks(fromMs, toMs, minGapMs) {
    return lines(this.doubles(3, (count) => this.raw._kandu_grid_ticks(fromMs, toMs, minGapMs, count)));
  }
}

function lines(numbers) {
  const out = [];
  for (let i = 0; i < numbers.length; i += 3)
    out.push({ ms: numbers[i], beat: numbers[i + 1], strength: kStrengths[numbers[i + 2]] });
  return out;
}

// A fresh module (each has an intro of its own), given createKandu's options.
export async function loadKandu(options) {
  return new Kandu(await globalThis.createKandu(options));
}

// A module in a worker, with no canvas (the tempo detector): kandu.js, a classic script, is read
// from `scriptUrl` and run in the worker's global scope, and its kandu.wasm is found beside it.
export async function loadKanduInWorker(scriptUrl) {
  if (!globalThis.createKandu) {
    const response = await fetch(scriptUrl);
    if (!response.ok) throw new Error(scriptUrl + ': ' + response.status);
    (0, eval)(await response.text());  // eslint-disable-line no-eval
  }
  return loadKandu({ locateFile: (name) => new URL(name, scriptUrl).href });
}
