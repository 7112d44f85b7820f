// The link to kandu-player edit, when the page was opened from it (?studio=1): the timeline is read
// from and saved to the disk through the studio, changes on the disk and other pages' saves are
// heard, every edit is drawn by the native window, the transport is shared both ways, and the
// music and its waveform come decoded from the studio. Opened as static files, none of this runs.

import { withCoarse } from './waveform.js';

export const kProtocol = 1;

// The studio's answer to a request, or an Error with its status and message.
async function call(path, options = {}) {
  const response = await fetch(path, { cache: 'no-store', ...options });
  if (!response.ok && response.status !== 409) {
    const error = new Error(path + ': ' + response.status + ' ' + (await response.text()).trim());
    error.status = response.status;
    throw error;
  }
  return response;
}

// The peaks the studio worked out: {lo, hi} pairs every `per` frames at `rate`, as the waveform
// keeps its fine level, with the coarse level made from them.
export function peaksFromStudio(fine, rate, per) { return withCoarse(fine, rate, per); }

// Revisions of the text sent to the window: rising across every page on the studio (the window
// draws only a newer one than it has), from the clock's milliseconds.
export function nextRevision(last, nowMs) {
  return Math.max(last + 1, Math.floor(nowMs));
}

export class Studio {
  // The studio behind this page, or null when there is none (static files, or another protocol).
  static async connect(ed) {
    if (new URLSearchParams(location.search).get('studio') === null) return null;
    try {
      const info = await (await call('api/studio')).json();
      if (info.protocol !== kProtocol) {
        ed.say('the studio speaks protocol ' + info.protocol + ', this page ' + kProtocol + ': working alone');
        return null;
      }
      return new Studio(ed, info);
    } catch (e) {
      ed.say('no studio (' + e.message + '): working alone');
      return null;
    }
  }

  constructor(ed, info) {
    this.ed = ed;
    this.info = info;
    this.version = info.version;  // of the file the document was read from or last saved as
    this.savedText = null;        // the text as it is on the disk (unsaved edits: the text differs)
    this.tab = Math.random().toString(36).slice(2);
    this.revision = 0;
    this.sending = false;
    this.again = false;
    this.remote = false;  // applying a move heard from the window or another page: not sent back
    this.window = null;   // the studio's last status
  }

  // The timeline as it is on the disk: {bytes, version}.
  async load() {
    const response = await call('api/timeline');
    const bytes = new Uint8Array(await response.arrayBuffer());
    this.version = response.headers.get('X-Kandu-Version');
    this.savedText = new TextDecoder('utf-8', { ignoreBOM: true }).decode(bytes);
    return bytes;
  }

  unsaved() { return this.ed.doc.text() !== this.savedText; }

  // Saves the document; the studio refuses (409) when the file changed on disk since it was read.
  async save() {
    const { ed } = this, bytes = ed.doc.bytes();
    const response = await call('api/timeline', {
      method: 'PUT', body: bytes, headers: { 'X-Kandu-Base': this.version, 'X-Kandu-Tab': this.tab },
    });
    const answer = await response.json();
    if (response.status === 409) {
      this.offer(ed.files.name + ' has changed on disk since it was opened: not saved.', answer.version);
      return false;
    }
    this.version = answer.version;
    this.savedText = new TextDecoder('utf-8', { ignoreBOM: true }).decode(bytes);
    ed.$('conflict').hidden = true;
    ed.say('saved ' + ed.files.name);
    return true;
  }

  // The file on the disk changed (another program, another page): reloaded at once when there is
  // nothing unsaved here, else offered.
  async changedOnDisk(version, who) {
    if (version === this.version) return;
    if (!this.unsaved()) return this.reload(who);
    this.offer(this.ed.files.name + ' was changed ' + who + '.', version);
  }

  async reload(who) {
    const { ed } = this;
    const bytes = await this.load();
    ed.$('conflict').hidden = true;
    if (ed.doc.replaceText(this.savedText, [...ed.view.selected])) {
      ed.refresh(true);
      ed.say('reloaded ' + ed.files.name + (who ? ' (changed ' + who + ')' : ''));
    } else if (!bytes.length || !ed.files.openText(bytes, ed.files.name)) {
      ed.say('the file on disk does not read: ' + ed.doc.error);
    }
  }

  // Reload, or keep this text (the next save then replaces the disk's version).
  offer(text, diskVersion) {
    const { $ } = this.ed;
    $('conflict-text').textContent = text;
    $('conflict').hidden = false;
    $('conflict-reload').onclick = () => this.reload('');
    $('conflict-keep').onclick = () => {
      this.version = diskVersion;
      $('conflict').hidden = true;
      this.ed.say('keeping this text: saving replaces the file on disk');
    };
  }

  // The document's text to the window (the newest only; one request at a time).
  async sendDraft() {
    if (this.sending) {
      this.again = true;
      return;
    }
    this.sending = true;
    do {
      this.again = false;
      this.revision = nextRevision(this.revision, Date.now());
      try {
        await call('api/draft', {
          method: 'POST', body: this.ed.doc.bytes(), headers: { 'X-Kandu-Revision': String(this.revision) },
        });
      } catch (e) {
        this.ed.say('the window did not take the text: ' + e.message);
      }
    } while (this.again);
    this.sending = false;
  }

  // The page's transport to the window and the other pages.
  moved({ playing, positionMs, loop }) {
    if (this.remote) return;
    const query = new URLSearchParams();
    if (playing !== undefined) query.set('playing', playing ? '1' : '0');
    if (positionMs !== undefined) query.set('at', String(Math.max(0, positionMs)));
    if (loop !== undefined) {
      query.set('loopFrom', String(loop ? loop[0] : 0));
      query.set('loopTo', String(loop ? loop[1] : 0));
    }
    call('api/transport?' + query, { method: 'POST', headers: { 'X-Kandu-Tab': this.tab } }).catch(() => {});
  }

  // A move made in the window, or in another page.
  follow(move) {
    if (move.tab === this.tab) return;
    const { transport, view } = this.ed;
    this.remote = true;
    try {
      if (move.playing !== null && move.playing !== view.playing) transport.setPlaying(move.playing);
      if (move.positionMs !== null) transport.seek(move.positionMs);
    } finally {
      this.remote = false;
    }
  }

  listen() {
    const events = new EventSource('api/events');
    events.addEventListener('saved', (e) => {
      const data = JSON.parse(e.data);
      if (data.tab !== this.tab) this.changedOnDisk(data.version, 'by another page');
    });
    events.addEventListener('disk', (e) => this.changedOnDisk(JSON.parse(e.data).version, 'on disk'));
    events.addEventListener('transport', (e) => this.follow(JSON.parse(e.data)));
    events.addEventListener('render', (e) => this.showRender(JSON.parse(e.data)));
    setInterval(() => this.poll(), 500);
  }

  async poll() {
    try {
      this.window = await (await call('api/status')).json();
    } catch (e) {
      this.window = null;
    }
    const w = this.window && this.window.window, el = this.ed.$('studio');
    if (!w || !w.open) {
      el.textContent = this.window ? 'studio: no window' : 'studio: gone';
      return;
    }
    const inStep = w.revision === this.revision;
    el.textContent = 'window ' + (inStep ? 'in step' : 'behind') + ' · ' + this.ed.beatsText(w.positionMs) +
        ' · ' + Math.round(w.fps) + ' fps';
    el.className = inStep ? 'in-step' : 'behind';
  }

  // The music, decoded by the studio: the waveform first, from its peaks as far as they are worked
  // out (the start of the music comes at once, the rest as the studio decodes it), then the sound.
  async loadMusic() {
    const { ed } = this;
    try {
      for (let complete = false; !complete;) {
        const response = await call('api/peaks');
        const rate = Number(response.headers.get('X-Kandu-Rate')), per = Number(response.headers.get('X-Kandu-Per'));
        complete = response.headers.get('X-Kandu-Complete') === '1';
        ed.sound.peaks = peaksFromStudio(new Float32Array(await response.arrayBuffer()), rate, per);
        ed.lanes.draw();
        if (this.waveformAt === undefined) this.waveformAt = performance.now();
        if (!complete) await new Promise((resolve) => setTimeout(resolve, 250));
      }
      const music = await call('music');
      await ed.files.openMusic(await music.blob(), this.info.name, { keepPeaks: true });
    } catch (e) {
      ed.say('no sound: ' + e.message);
    }
  }

  async render(what = 'render') {
    try {
      await call('api/' + what, { method: 'POST' });
    } catch (e) {
      this.ed.say(e.message.replace(/^[^:]*: \d+ /, ''));
    }
  }

  showRender({ state, percent, output, message }) {
    const { $ } = this.ed;
    $('render-cancel').hidden = state !== 'running';
    $('render-state').textContent = state === 'running' ? 'rendering ' + percent + '%'
      : state === 'done' ? '' : state === 'idle' ? '' : state + (message ? ': ' + message : '');
    const link = $('render-link');
    link.hidden = state !== 'done';
    if (state === 'done') {
      link.href = 'render/' + encodeURIComponent(output);
      link.textContent = output;
    }
  }

  install() {
    const { $ } = this.ed;
    $('studio-tools').hidden = false;
    $('render').addEventListener('click', () => this.render());
    $('export').addEventListener('click', () => this.render('export'));
    $('render-cancel').addEventListener('click', () => call('api/render', { method: 'DELETE' }).catch(() => {}));
    // With the native window beside it, the window plays the sound; the page's is silent.
    this.ed.sound.muted = !!this.info.window;
    this.listen();
  }
}
