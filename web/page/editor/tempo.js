// The tempo line by ear and from the music: the detector's proposal (worked out in a worker when
// music is loaded), tap tempo (T), ×2 and ÷2, the first beat dragged on the ruler or nudged by a few
// milliseconds. Each change writes the document's tempo line as one undo step; the rules (the fit
// of the taps, the detector, the line's text) are the timeline library's, through the module.

const kNudgeMs = 5;

export class Tempo {
  constructor(ed) {
    this.ed = ed;
    this.taps = [];
    this.worker = null;
    this.estimate = null;  // the detector's last, for the music loaded
    this.dragKey = 0;
    this.times = {};  // when the music was ready and its estimates came (performance.now())
  }

  // The document's tempo: { bpm, offset }, or null.
  current() { return this.ed.kandu.docTempo(); }

  // Writes `tempo BPM OFFSET` as one step of the history (merged with others of `mergeKey`).
  write(bpm, offset, mergeKey = null) {
    const { doc, view } = this.ed, selection = [...view.selected];
    const rounded = Math.round(bpm * 100) / 100, at = Math.max(0, Math.round(offset));
    if (!doc.gesture((k) => k.setTempo(rounded, at), selection, selection, mergeKey)) {
      this.ed.say(doc.error);
      return false;
    }
    this.ed.refresh(true);
    return true;
  }

  scale(factor) {
    const t = this.current();
    if (!t) return this.ed.say('no tempo line yet: tap one (T) or load music');
    this.write(t.bpm * factor, t.offset);
  }

  nudge(ms) {
    const t = this.current();
    if (!t) return this.ed.say('no tempo line yet: tap one (T) or load music');
    this.write(t.bpm, t.offset + ms);
  }

  // Dragging the first beat on the ruler: one undo step for the whole drag.
  dragStart() { this.dragKey = 'first-beat-' + performance.now(); }
  dragTo(ms) {
    const t = this.current();
    if (t) this.write(t.bpm, ms, this.dragKey);
  }

  // A tap (T) at `timeStamp` (ms); while playing, the playhead's time gives the beat's place too.
  tap(timeStamp) {
    const { view, transport, kandu, $ } = this.ed;
    const at = view.playing ? transport.position() : timeStamp;
    if (this.taps.length && (at <= this.taps[this.taps.length - 1].at ||
                             timeStamp - this.taps[this.taps.length - 1].stamp >= 2000)) this.taps = [];
    this.taps.push({ stamp: timeStamp, at, playing: view.playing });
    const fit = kandu.tapTempo(this.taps.map((t) => t.stamp));
    if (!fit.ok) {
      $('tempo-state').textContent = 'tap: ' + this.taps.length + ' of 4';
      return;
    }
    // Playing: the offset from the taps' places in the music (the timeline library's rule).
    const playing = this.taps.every((t) => t.playing);
    const offset = playing ? kandu.tapFirstBeat(this.taps[0].at, this.taps[0].stamp, fit.firstMs, fit.bpm)
      : (this.current() ? this.current().offset : 0);
    this.propose('tap: ' + fit.bpm.toFixed(2) + ' BPM (' + fit.taps + ' taps)', fit.bpm, offset);
  }

  // Shows a tempo to take or leave.
  propose(text, bpm, offset) {
    const { $ } = this.ed;
    this.proposal = { bpm, offset };
    $('tempo-proposal-text').textContent = text + ' → ' + this.ed.kandu.tempoLine(bpm, offset);
    $('tempo-proposal').hidden = false;
    $('tempo-state').textContent = '';
  }
  accept() {
    if (!this.proposal) return;
    const { bpm, offset } = this.proposal;
    this.ed.$('tempo-proposal').hidden = true;
    this.proposal = null;
    this.taps = [];
    this.write(bpm, offset);
  }
  dismiss() {
    this.ed.$('tempo-proposal').hidden = true;
    this.proposal = null;
    this.taps = [];
  }

  // The detector on `buffer` (an AudioBuffer), in the worker; resolves to its estimate (or, with
  // `cut` { bpm, offset, pulses }, to a first cut's lines). A long song's first estimate, from its
  // first seconds, goes to `early` on the way.
  detect(buffer, cut = null, early = null) {
    const { $ } = this.ed;
    if (!this.worker) this.worker = new Worker(new URL('./tempo_worker.js', import.meta.url), { type: 'module' });
    const channels = [];
    for (let c = 0; c < Math.min(2, buffer.numberOfChannels); ++c) channels.push(buffer.getChannelData(c).slice());
    return new Promise((resolve, reject) => {
      this.worker.onmessage = ({ data }) => {
        if (data.progress !== undefined) {
          $('tempo-state').textContent = 'finding the tempo… ' + Math.round(data.progress * 100) + '%';
        } else if (data.early) {
          this.times.first = this.times.early = performance.now();
          if (early) early(data.early);
        } else if (data.error) {
          $('tempo-state').textContent = '';
          reject(new Error(data.error));
        } else if (data.lines !== undefined) {
          $('tempo-state').textContent = '';
          resolve(data.lines);
        } else {
          $('tempo-state').textContent = '';
          this.times.first = this.times.first || performance.now();
          this.times.whole = performance.now();
          this.estimate = data.estimate;
          resolve(data.estimate);
        }
      };
      this.worker.postMessage({ channels, rate: buffer.sampleRate, cut }, channels.map((c) => c.buffer));
    });
  }

  // After music is loaded: the detector's tempo proposed (or said to be missing), a long song's
  // first from its first seconds, then the whole song's; none where the document has it already.
  async proposeFromMusic(buffer) {
    const offer = (e, where) => {
      if (!e.steady) return false;
      const t = this.current(), { kandu } = this.ed;
      if (t && kandu.tempoLine(t.bpm, t.offset) === kandu.tempoLine(e.bpm, e.firstBeatMs)) {
        this.ed.$('tempo-proposal').hidden = true;
        this.proposal = null;
      } else {
        this.propose(where + ' (' + this.ed.kandu.howSure(e.confidence) + ')', e.bpm, e.firstBeatMs);
      }
      return true;
    };
    try {
      const e = await this.detect(buffer, null, (first) => offer(first, 'found in the first seconds, refining'));
      if (!offer(e, 'found in the music')) this.ed.say('no steady beat found in the music (' + e.why + ')');
    } catch (e) {
      this.ed.say('the tempo was not found: ' + e.message);
    }
  }

  // A first cut of the loaded music on the document's tempo: a scene and a mark per section and the
  // pulse words of the selected blocks (the first pulse word without a selection) on its kicks, one
  // undo step.
  async firstCut() {
    const { sound, kandu, doc, view, words } = this.ed;
    const t = this.current();
    if (!sound.buffer || !t) return this.ed.say('a first cut needs music and a tempo line');
    const pulseWords = new Set(words.filter((w) => w.kind === 'pulse').map((w) => w.word));
    const picked = [...new Set(view.blocks.filter((b) => view.selected.has(b[3]) && pulseWords.has(b[2])).map((b) => b[2]))];
    let lines;
    try {
      lines = await this.detect(sound.buffer, { bpm: t.bpm, offset: t.offset,
                                                pulses: picked.length ? picked : [...pulseWords].slice(0, 1) });
    } catch (e) {
      return this.ed.say('no first cut: ' + e.message);
    }
    const text = doc.text();
    if (!doc.replaceText(text + (text === '' || text.endsWith('\n') ? '' : '\n') + lines.replace(/^\n/, text ? '\n' : ''),
                         [...view.selected])) return this.ed.say(doc.error);
    this.ed.refresh(true);
    this.ed.say('a first cut: ' + kandu.marks().length + ' marks');
  }

  install() {
    this.ed.$('first-cut').addEventListener('click', () => this.firstCut());
    const { $ } = this.ed;
    $('tempo-double').addEventListener('click', () => this.scale(2));
    $('tempo-halve').addEventListener('click', () => this.scale(0.5));
    $('tempo-earlier').addEventListener('click', () => this.nudge(-kNudgeMs));
    $('tempo-later').addEventListener('click', () => this.nudge(kNudgeMs));
    $('tempo-tap').addEventListener('click', (event) => this.tap(event.timeStamp));
    $('tempo-accept').addEventListener('click', () => this.accept());
    $('tempo-dismiss').addEventListener('click', () => this.dismiss());
  }
}

export const nudgeMs = kNudgeMs;
