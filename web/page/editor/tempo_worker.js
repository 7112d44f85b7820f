// The tempo detector off the page's thread: a module of its own in this worker, fed the music a
// second at a time, its progress posted between pieces, so that the page never waits on it. A long
// song gets a first estimate from its first kEarlySeconds, then the whole song's.
import { loadKanduInWorker } from '../module.js';

let kandu = null;
const kEarlySeconds = 30;

self.onmessage = async ({ data }) => {
  try {
    kandu = kandu || await loadKanduInWorker(new URL('../kandu-editor.js', import.meta.url));
    const { channels, rate, cut } = data;
    const left = channels[0], right = channels[channels.length - 1], n = left.length;
    const mono = new Float32Array(rate), step = Math.round(rate / 12000);
    // A first cut wants the music at 12 kHz; the tempo, the music a second at a time.
    const low = cut ? new Float32Array(Math.floor(n / step)) : null;
    if (!cut) kandu.tempoBegin(rate);
    for (let at = 0, piece = 0; at < n; at += rate, ++piece) {
      const m = Math.min(rate, n - at);
      for (let i = 0; i < m; ++i) mono[i] = 0.5 * (left[at + i] + right[at + i]);
      if (cut) {
        for (let i = 0; i + step <= m; i += step) {
          let sum = 0;
          for (let k = 0; k < step; ++k) sum += mono[i + k];
          low[(at + i) / step] = sum / step;
        }
      } else {
        kandu.tempoFeed(mono.subarray(0, m));
        if (piece + 1 === kEarlySeconds && n > 1.5 * kEarlySeconds * rate) self.postMessage({ early: kandu.tempoSoFar() });
      }
      if (piece % 10 === 0) self.postMessage({ progress: at / n });
    }
    if (cut) self.postMessage({ lines: kandu.firstCut(low, cut.bpm, cut.offset, cut.pulses) });
    else self.postMessage({ estimate: kandu.tempoFinish() });
  } catch (e) {
    self.postMessage({ error: String(e.message || e) });
  }
};
