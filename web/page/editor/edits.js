// The edits the lanes, keys and toolbar make: each one gesture of the document (all or nothing,
// one undo step), on the selected blocks or at the playhead, snapped to the grid.
import { selectionAfterClick, selectionChanged } from './layout.js';

export class Edits {
  constructor(ed) {
    this.ed = ed;
  }

  selectedLines() { return [...this.ed.view.selected]; }

  // Runs the gesture; the editor refreshes after it, or says why it was refused. `after`: the
  // selection it leaves (lines, or a function of what the edit returned); the same when omitted.
  gesture(edit, after) {
    const { doc, view } = this.ed;
    const before = this.selectedLines();
    const pick = (result) => (after === undefined ? before : typeof after === 'function' ? after(result) : after);
    if (!doc.gesture(edit, before, pick)) {
      this.ed.say(doc.error);
      return false;
    }
    view.selected = new Set(pick(doc.result));
    this.ed.refresh(true);
    return true;
  }

  select(line, add) {
    const { view, lanes, $ } = this.ed;
    const before = view.selected;
    view.selected = selectionAfterClick(before, line, add);
    const changed = selectionChanged(before, view.selected);
    if (changed.size) lanes.markSelected(changed);
    const words = new Set(view.blocks.filter((b) => view.selected.has(b[3])).map((b) => b[2]));
    $('word').value = words.size === 1 ? [...words][0] : '';
  }

  // The first selected block's start, or the playhead: where a grid step is measured.
  anchorMs() {
    const { view } = this.ed;
    const b = view.blocks.find((x) => view.selected.has(x[3]));
    return b ? b[0] : view.playhead;
  }

  step(atMs) { return this.ed.kandu.step(atMs, this.ed.view.gridFraction); }

  move(deltaMs, lines = this.selectedLines()) {
    if (lines.length) this.gesture((k) => k.move(lines, deltaMs));
  }
  // The selection a grid step longer (or shorter), never shorter than a step.
  resize(steps) {
    const lines = this.selectedLines();
    if (lines.length) this.gesture((k) => k.resize(lines, steps * this.step(this.anchorMs()), this.ed.view.gridFraction));
  }
  setEdge(line, isEnd, ms) { this.gesture((k) => k.setEdge(line, isEnd, ms)); }
  duplicate() {
    const lines = this.selectedLines();
    if (lines.length) this.gesture((k) => k.duplicate(lines), (copies) => copies);
  }
  remove() {
    const lines = this.selectedLines();
    if (lines.length) this.gesture((k) => k.remove(lines), []);
  }
  setWord(word) {
    const lines = this.selectedLines();
    if (lines.length && word) this.gesture((k) => k.setWord(lines, word));
  }
  // A block of `word` a beat long at the playhead, snapped; it becomes the selection.
  add(word) {
    const { kandu, view } = this.ed;
    const start = Math.max(0, kandu.snap(kandu.position(), view.gridFraction));
    const end = kandu.later(start, 1);
    if (this.gesture((k) => k.insert(start, end, word))) {
      const last = view.blocks.length ? view.blocks[view.blocks.length - 1][3] : 0;
      this.select(last, false);
    }
  }
  // One grid step of time inserted (or removed) at the playhead, snapped.
  insertTime(remove) {
    const { kandu, view } = this.ed;
    const at = Math.max(0, kandu.snap(kandu.position(), view.gridFraction));
    const amount = this.step(at);
    this.gesture((k) => (remove ? k.removeTime(at, amount) : k.insertTime(at, amount)));
  }
}
