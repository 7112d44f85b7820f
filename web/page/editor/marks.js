// Marks on the ruler: the song's parts by name. M adds one at the playhead, [ and ] jump to the
// previous and next, L loops between the marks around the playhead; a mark is dragged to move it
// (on the grid; Alt: freely) and double-clicked to rename it. Each edit is one undo step.

export class Marks {
  constructor(ed) {
    this.ed = ed;
    this.dragKey = null;
  }

  list() { return this.ed.kandu.marks(); }

  edit(change, mergeKey = null) {
    const { doc, view } = this.ed, selection = [...view.selected];
    if (!doc.gesture(change, selection, selection, mergeKey)) {
      this.ed.say(doc.error);
      return false;
    }
    this.ed.refresh(true);
    return true;
  }

  add() {
    const at = this.ed.view.playhead, name = this.ed.kandu.freshMarkName();
    if (this.edit((k) => k.addMark(at, name))) this.ed.say('mark ' + name + ' at ' + this.ed.beatsText(at));
  }

  jump(later) {
    const m = this.ed.kandu.markNear(this.ed.view.playhead, later);
    if (m) this.ed.transport.seek(m.ms);
  }

  loopAround() {
    const range = this.ed.kandu.markRange(this.ed.view.playhead);
    if (!range) return this.ed.say('no marks on both sides of the playhead');
    this.ed.transport.setLoop(range);
  }

  dragStart(line) { this.dragKey = 'mark-' + line + '-' + performance.now(); }
  dragTo(line, ms, free) {
    const { kandu, view } = this.ed;
    const to = free ? Math.round(ms) : kandu.snap(ms, view.gridFraction);
    this.edit((k) => k.moveMark(line, Math.max(0, to)), this.dragKey);
  }

  // Copying time: the loop range (Shift+drag on the ruler, or L between two marks) is kept, and each
  // paste puts its blocks at the playhead and moves the playhead to the pasted range's end, so that
  // pasting N times in a row lays the range down N times.
  copy() {
    const range = this.ed.view.loop;
    if (!range) return this.ed.say('set a range first: Shift+drag on the ruler, or L between two marks');
    this.clip = [...range];
    this.ed.say('copied ' + this.ed.beatsText(range[0]) + ' to ' + this.ed.beatsText(range[1]));
  }
  paste() {
    if (!this.clip) return this.ed.say('nothing copied: Ctrl+C copies the range');
    const [from, to] = this.clip, playhead = this.ed.view.playhead;
    // Right after a paste the playhead stands at its end (a millisecond before it when that end is
    // the timeline's): the next paste goes there.
    const at = this.pastedTo !== undefined && Math.abs(playhead - this.pastedTo) <= 1 ? this.pastedTo : playhead;
    if (!this.edit((k) => k.pasteTime(from, to, at))) return;
    this.pastedTo = at + (to - from);
    this.ed.transport.seek(this.pastedTo);
  }

  rename(line) {
    const mark = this.list().find((m) => m.line === line);
    const name = mark && window.prompt('Rename the mark ' + mark.name + ' (one word)', mark.name);
    if (name && name !== mark.name) this.edit((k) => k.renameMark(line, name.trim()));
  }
}
