// While paused the picture is the exact still, as kandu-player still --at draws it: a fresh intro
// (a module of its own on a canvas of its own) pre-rolls every earlier frame. The live frame shows
// meanwhile.
import { loadKandu } from '../module.js';

export class Still {
  constructor(ed) {
    this.ed = ed;
    this.timer = 0;
    this.serial = 0;
    this.shown = null;
  }

  request() {
    clearTimeout(this.timer);
    this.timer = setTimeout(() => this.render(), 120);
  }

  hide() {
    clearTimeout(this.timer);
    ++this.serial;
    if (this.shown) this.shown.style.visibility = 'hidden';
  }

  // The moment the still on show was drawn at, or -1.
  at() { return this.shown && this.shown.style.visibility === 'visible' ? Number(this.shown.dataset.atMs) : -1; }
  picture() { return this.shown ? this.shown.toDataURL('image/png') : ''; }

  async render() {
    const { view, kandu, doc, $ } = this.ed;
    if (view.playing) return;
    const serial = ++this.serial, at = Math.floor(kandu.position()), bytes = doc.bytes();
    const canvas = document.createElement('canvas');
    canvas.width = 1024;
    canvas.height = 768;
    canvas.id = 'still-' + serial;
    canvas.style.visibility = 'hidden';
    $('still-slot').appendChild(canvas);
    try {
      const fresh = await loadKandu({ canvas, print: () => {}, printErr: () => {} });
      if (serial !== this.serial) throw new Error('superseded');
      fresh.start(bytes, doc.source, '#' + canvas.id);
      fresh.still(at);
      if (serial !== this.serial) throw new Error('superseded');
    } catch (e) {
      canvas.remove();
      if (String(e.message || e) !== 'superseded') this.ed.say('still: ' + (e.message || e));
      return;
    }
    canvas.style.visibility = 'visible';
    canvas.dataset.atMs = at;
    if (this.shown) this.shown.remove();
    this.shown = canvas;
  }
}
