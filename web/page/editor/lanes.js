// The lanes: a label per word, an element per block (reused, and written only where it changed),
// the backdrop behind them (waveform, grid, stripes) and the playhead across them all.
import { blockBox, kLaneHeight, kindOf, lanesHeight, msOf, xOf } from './layout.js';
import { drawGrid, drawRuler, beatsText } from './ruler.js';
import { drawWaveform } from './waveform.js';

export class Lanes {
  // `ed`: the editor (its kandu, view, words, sound peaks and elements).
  constructor(ed) {
    this.ed = ed;
    this.blockEls = [];
    this.backdropKey = '';
  }

  layoutKey() {
    const view = this.ed.view;
    return view.pxPerMs + ' ' + view.scrollMs + ' ' + view.lanes.join(' ');
  }

  build() {
    const { view, $ } = this.ed;
    const labels = $('labels');
    labels.textContent = '';
    labels.style.height = lanesHeight(view) + 'px';
    view.lanes.forEach((word, i) => {
      const label = document.createElement('div');
      label.className = 'label';
      label.style.top = (i * kLaneHeight + 4) + 'px';
      label.textContent = word;
      labels.appendChild(label);
    });
    while (this.blockEls.length < view.blocks.length) {
      const el = document.createElement('div');
      el.tabIndex = 0;
      el.setAttribute('role', 'button');
      $('blocks').appendChild(el);
      this.blockEls.push(el);
    }
    while (this.blockEls.length > view.blocks.length) this.blockEls.pop().remove();
    // Only what changed is written: an edit of one block among thousands touches one element.
    const layoutKey = this.layoutKey(), tempoKey = this.ed.tempoKey;
    view.blocks.forEach((b, i) => {
      const el = this.blockEls[i];
      const [start, end, word, line] = b;
      const selected = view.selected.has(line);
      const key = start + ' ' + end + ' ' + word + ' ' + line + ' ' + i + ' ' + selected + tempoKey;
      if (el.kanduKey !== key) {
        el.kanduKey = key;
        el.className = 'block ' + kindOf(word, this.ed.words) + (selected ? ' selected' : '');
        el.dataset.startMs = start;
        el.dataset.endMs = end;
        el.dataset.word = word;
        el.dataset.line = line;
        el.dataset.index = i;
        el.textContent = word;
        el.setAttribute('aria-label', word + ', ' + beatsText(this.ed.kandu, start) + ' to ' + beatsText(this.ed.kandu, end));
        el.kanduLayout = '';
      }
      if (el.kanduLayout !== layoutKey) this.place(el, b, layoutKey);
    });
  }

  place(el, block, layoutKey, shiftMs = 0) {
    el.kanduLayout = layoutKey;
    const box = blockBox(this.ed.view, block, shiftMs);
    el.style.transform = 'translate(' + box.x + 'px,' + box.y + 'px)';
    el.style.width = box.width + 'px';
  }

  // Every block where the zoom and scroll put it.
  layout() {
    const layoutKey = this.layoutKey();
    this.ed.view.blocks.forEach((b, i) => this.place(this.blockEls[i], b, layoutKey));
  }

  // Only the blocks whose selection changed.
  markSelected(lines) {
    const view = this.ed.view;
    view.blocks.forEach((b, i) => {
      if (!lines.has(b[3])) return;
      this.blockEls[i].classList.toggle('selected', view.selected.has(b[3]));
      this.blockEls[i].kanduKey = '';
    });
  }

  // The backdrop covers the part of the lanes in view, wherever they are scrolled to, and is drawn
  // again only when what it shows changed: an edit of a block among thousands redraws nothing of it.
  draw() {
    const { view, $, kandu } = this.ed;
    const lanesEl = $('lanes'), backdrop = $('backdrop');
    const width = lanesEl.clientWidth, height = lanesEl.clientHeight, top = lanesEl.scrollTop;
    const peaks = this.ed.sound.peaks;
    const key = [width, height, top, view.pxPerMs, view.scrollMs, view.gridFraction, view.lanes.length,
                 this.ed.tempoKey, peaks ? peaks.serial : 0].join(' ');
    if (key !== this.backdropKey) {
      this.backdropKey = key;
      if (backdrop.width !== width || backdrop.height !== height) {
        backdrop.width = width;
        backdrop.height = height;
      }
      backdrop.style.top = top + 'px';
      const g = backdrop.getContext('2d');
      g.clearRect(0, 0, width, height);
      drawWaveform(g, peaks, width, height, (x) => msOf(view, x));
      drawGrid(g, kandu, view, width, height);
      g.fillStyle = 'rgba(255,255,255,0.04)';
      for (let i = Math.floor(top / kLaneHeight); i < view.lanes.length && i * kLaneHeight < top + height; ++i)
        if (i % 2) g.fillRect(0, i * kLaneHeight - top, width, kLaneHeight);
      $('playhead').style.height = Math.max(height, lanesHeight(view)) + 'px';
    }
    drawRuler($('ruler'), kandu, view, width);
    this.drawPlayhead();
  }

  drawPlayhead() {
    this.ed.$('playhead').style.transform = 'translateX(' + xOf(this.ed.view, this.ed.view.playhead) + 'px)';
  }
}
