// What the player's page and the editor both do to start: fetch a timeline's bytes and its music,
// bring up the module on a canvas, and play sound through Web Audio.
import { loadKandu } from './module.js';

// A file's bytes as the server has them: not decoded as text, which would drop a byte-order mark
// and mend what kandu-player refuses.
export async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(url + ': ' + response.status + ' ' + response.statusText);
  return new Uint8Array(await response.arrayBuffer());
}

// The module on `canvas` (an element), started with ?timeline=URL's bytes or the built-in demo.
// Resolves to { kandu, bytes, source, url }: `bytes` null for the built-in demo.
export async function startIntro(canvas, url, { print = () => {}, printErr = (t) => console.warn(t) } = {}) {
  // An exported demo hands the module its wasm bytes (kanduModuleOptions), as it cannot fetch them.
  const kandu = await loadKandu({ canvas, print, printErr, ...(globalThis.kanduModuleOptions || {}) });
  const bytes = url ? await fetchBytes(url) : null;
  kandu.start(bytes, url || '', '#' + canvas.id);
  return { kandu, bytes, url };
}

// Where the music a timeline names lies: beside the timeline.
export function musicUrl(music, timelineUrl) {
  return new URL(music, new URL(timelineUrl, location.href));
}

// Sound for the picture to follow: one buffer played from a position, looped over a range or not.
export class Sound {
  constructor() {
    this.context = null;
    this.buffer = null;
    this.source = null;
    this.startedAt = 0;
    this.startPos = 0;
    this.loop = null;
    this.peaks = null;  // the waveform's, once worked out
    this.muted = false;  // silent, keeping its clock (another player plays the sound)
  }
  // Where a source plays: the speakers, or a silent gain while muted.
  output() {
    if (!this.muted) return this.context.destination;
    const gain = this.context.createGain();
    gain.gain.value = 0;
    gain.connect(this.context.destination);
    return gain;
  }
  // The context, made and resumed on first use (browsers start sound only after a key or a click).
  ensure() {
    if (!this.context) this.context = new AudioContext({ sampleRate: 48000 });
    if (this.context.state === 'suspended') this.context.resume();
    return this.context;
  }
  async decode(arrayBuffer) {
    this.buffer = await this.ensure().decodeAudioData(arrayBuffer);
    return this.buffer;
  }
  // The built-in demo's beat made in code by the module (null for a timeline of the user's).
  useBeat(kandu) {
    const samples = kandu.beat(), frames = samples.length / 2;
    this.buffer = null;
    if (!frames) return null;
    const buffer = this.ensure().createBuffer(2, frames, 48000);
    for (let c = 0; c < 2; ++c) {
      const channel = buffer.getChannelData(c);
      for (let i = 0; i < frames; ++i) channel[i] = samples[i * 2 + c];
    }
    this.buffer = buffer;
    return buffer;
  }
  playing() { return !!this.source; }
  stop() {
    if (!this.source) return;
    this.source.onended = null;
    this.source.stop();
    this.source = null;
  }
  // Plays from `ms`, over this.loop ([from, to) in ms) when one is set.
  start(ms) {
    this.stop();
    if (!this.buffer) return;
    const source = this.ensure().createBufferSource();
    source.buffer = this.buffer;
    source.connect(this.output());
    if (this.loop) {
      source.loop = true;
      source.loopStart = this.loop[0] / 1000;
      source.loopEnd = this.loop[1] / 1000;
    }
    this.startPos = ms;
    this.startedAt = this.context.currentTime;
    source.start(0, ms / 1000);
    this.source = source;
  }
  // Where the sound is now, wrapped into the loop as Web Audio wraps it; -1 when not playing.
  position() {
    if (!this.source) return -1;
    let ms = this.startPos + (this.context.currentTime - this.startedAt) * 1000;
    if (this.loop && ms >= this.loop[1]) ms = this.loop[0] + (ms - this.loop[0]) % (this.loop[1] - this.loop[0]);
    return ms;
  }
  // A short piece at `ms`, so that scrubbing is heard.
  blip(ms) {
    if (!this.buffer) return;
    const source = this.ensure().createBufferSource();
    source.buffer = this.buffer;
    source.connect(this.output());
    source.start(0, ms / 1000, 0.08);
  }
}
