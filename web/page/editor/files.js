// Files: open, drop, save, and the draft kept in this browser.
import { computePeaks } from './waveform.js';

const kMaxMusicMinutes = 20;
const kDraftKey = 'kandu-editor-draft';

export class Files {
  constructor(ed) {
    this.ed = ed;
    this.handle = null;
    this.modified = 0;
    this.name = 'demo.timeline';
    this.draftTimer = 0;
    this.draftOpened = '';
  }

  // A timeline's text or bytes as the new document; false (and the error shown) when refused.
  openText(data, name) {
    const { doc, kandu, view, $ } = this.ed;
    if (!doc.open(data, name)) {
      $('error').textContent = doc.error;
      if (typeof data === 'string' || data.length <= kandu.maxTimelineBytes())
        $('text').value = typeof data === 'string' ? data : new TextDecoder('utf-8', { ignoreBOM: true }).decode(data);
      return false;
    }
    this.name = name.split('/').pop() || this.name;
    view.selected.clear();
    this.ed.refresh(true);
    this.offerDraft();
    return true;
  }

  // `keepPeaks`: the waveform is drawn already (from the studio's peaks).
  async openMusic(blob, name, { keepPeaks = false } = {}) {
    const { sound, view } = this.ed;
    sound.ensure();
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
      this.ed.say(name + ' is ' + Math.round(minutes) + ' minutes long; the editor plays music up to ' +
                  kMaxMusicMinutes + ' minutes (kandu-player plays it all)');
      return false;
    }
    try {
      await sound.decode(await blob.arrayBuffer());
    } catch (e) {
      this.ed.say('no sound: ' + name + ': ' + e);
      return false;
    }
    if (!keepPeaks) this.showWaveform();
    if (view.playing) this.ed.transport.startSound();
    this.ed.lanes.draw();
    this.ed.tempo.times = { music: performance.now() };
    this.findTempo(name);
    return true;
  }

  // The tempo of the music just loaded, found in a worker: an empty document becomes a new timeline
  // for the song (its music line and the tempo found, one undo step) as soon as the first estimate
  // comes (a long song's, from its first seconds), and the whole song's is proposed where it
  // differs; otherwise the tempo is proposed.
  async findTempo(name) {
    const { doc, kandu, tempo, sound } = this.ed;
    if (!kandu.docBlank()) return tempo.proposeFromMusic(sound.buffer);
    const song = name.split('/').pop();
    let written = null;
    const start = (estimate) => {
      const text = kandu.newTimelineText(song, estimate);
      if (!doc.replaceText(text, [])) return this.ed.say(doc.error);
      if (this.name === 'new.timeline') this.name = song.replace(/\.[^.]*$/, '') + '.timeline';
      written = estimate;
      this.ed.tempo.times.timeline = performance.now();
      this.ed.refresh(true);
      this.ed.say(estimate.steady ? 'a new timeline for ' + song + ': ' + text.split('\n')[2].split('#')[0].trim()
                                  : 'a new timeline for ' + song + ' (no steady beat found: tap one, T)');
    };
    let estimate;
    try {
      estimate = await tempo.detect(sound.buffer, null, (first) => { if (first.steady) start(first); });
    } catch (e) {
      return this.ed.say('the tempo was not found: ' + e.message);
    }
    if (!written) return start(estimate);
    if (estimate.steady && kandu.tempoLine(estimate.bpm, estimate.firstBeatMs) !== kandu.tempoLine(written.bpm, written.firstBeatMs))
      tempo.propose('found over the whole song (' + kandu.howSure(estimate.confidence) + ')', estimate.bpm, estimate.firstBeatMs);
  }

  showWaveform() {
    const { sound } = this.ed, buffer = sound.buffer;
    const channels = [];
    for (let c = 0; c < Math.min(2, buffer.numberOfChannels); ++c) channels.push(buffer.getChannelData(c));
    sound.peaks = computePeaks(channels, buffer.sampleRate);
  }

  async openFiles(files) {
    for (const file of files) {
      if (/^audio\//.test(file.type) || /\.(wav|ogg|opus|mp3|flac|m4a)$/i.test(file.name)) {
        await this.openMusic(file, file.name);
      } else {
        this.openText(new Uint8Array(await file.arrayBuffer()), file.name);
        this.handle = file.handle || null;
        this.modified = file.lastModified;
      }
    }
  }

  async pick() {
    if (!window.showOpenFilePicker) return this.ed.$('files').click();
    try {
      const files = [];
      for (const handle of await window.showOpenFilePicker({ multiple: true })) {
        const file = await handle.getFile();
        file.handle = handle;
        files.push(file);
      }
      await this.openFiles(files);
    } catch (e) {
      if (e.name !== 'AbortError') this.ed.say(String(e));
    }
  }

  async drop(event) {
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
    await this.openFiles(files);
  }

  // Writes back to the opened file where the browser allows it (never over a file changed on disk
  // since it was opened, unless asked), else downloads the timeline under its name.
  async save() {
    if (this.ed.studio) {
      try {
        if (!(await this.ed.studio.save())) return false;
        this.clearDraft();
        return true;
      } catch (e) {
        this.ed.say('not saved: ' + e.message);
        return false;
      }
    }
    const bytes = this.ed.doc.bytes();  // the document's bytes, as they will be on the disk
    const say = (text) => this.ed.say(text);
    if (this.handle && this.handle.createWritable) {
      try {
        const onDisk = await this.handle.getFile();
        if (onDisk.lastModified !== this.modified &&
            !confirm(this.name + ' has changed on disk since it was opened. Overwrite it?')) {
          say('not saved: ' + this.name + ' changed on disk');
          return false;
        }
        const writable = await this.handle.createWritable();
        await writable.write(bytes);
        await writable.close();
        this.modified = (await this.handle.getFile()).lastModified;
        say('saved ' + this.name);
        this.clearDraft();
        return true;
      } catch (e) {
        say('cannot save to ' + this.name + ' (' + e + '); downloading instead');
      }
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'text/plain' }));
    link.download = this.name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
    say('downloaded ' + this.name);
    this.clearDraft();
    return true;
  }

  keepDraft() {
    clearTimeout(this.draftTimer);
    this.draftTimer = setTimeout(() => {
      const text = this.ed.doc.text();
      if (text === this.draftOpened) return;
      try {
        localStorage.setItem(kDraftKey, JSON.stringify({ name: this.name, text, when: Date.now() }));
      } catch (e) { /* storage full or off: no draft */ }
    }, 500);
  }
  clearDraft() {
    try { localStorage.removeItem(kDraftKey); } catch (e) { /* nothing kept */ }
    this.draftOpened = this.ed.doc.text();
  }
  // A draft of the same file is offered, never taken over without asking.
  offerDraft() {
    const { doc, $ } = this.ed;
    this.draftOpened = doc.text();
    let draft = null;
    try { draft = JSON.parse(localStorage.getItem(kDraftKey) || 'null'); } catch (e) { draft = null; }
    if (!draft || draft.name !== this.name || draft.text === this.draftOpened) return;
    $('draft-when').textContent = new Date(draft.when).toLocaleString();
    $('draft').hidden = false;
    $('draft-restore').onclick = () => {
      $('draft').hidden = true;
      if (doc.replaceText(draft.text, [...this.ed.view.selected])) this.ed.refresh(true);
      else this.ed.say(doc.error);
    };
    $('draft-discard').onclick = () => {
      $('draft').hidden = true;
      this.clearDraft();
    };
  }
}
