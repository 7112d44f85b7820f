// The editor's document: the text the module keeps (the timeline library's Document) and the
// history of its changes. Every edit goes through gesture(): the module's edits are all or nothing,
// so a refused gesture changes nothing and leaves nothing to undo.
import { KanduError } from '../module.js';
import { History } from './history.js';

export class EditorDocument {
  // `kandu`: the module's facade (module.js), or anything with the same document functions.
  constructor(kandu, history = new History()) {
    this.kandu = kandu;
    this.history = history;
    this.source = 'timeline';
    this.revision = 0;  // counts every change, for the picture to know what it shows
    this.error = '';
  }

  // Opens `data` (a string, or a file's bytes) as a new document: the history starts afresh.
  open(data, source) {
    if (!this.attempt(() => this.kandu.open(data, source || this.source))) return false;
    this.source = source || this.source;
    this.history.clear();
    this.revision++;
    return true;
  }

  text() { return this.kandu.docText(); }
  bytes() { return this.kandu.docBytes(); }
  blocks() { return this.kandu.blocks(); }

  // Runs `edit(kandu)` (one of the module's edits) as one step of the history, with the selection
  // before and after it. True when it was made; false, with this.error saying why, when refused.
  gesture(edit, selectionBefore = [], selectionAfter = selectionBefore, mergeKey = null) {
    let result;
    if (!this.attempt(() => { result = edit(this.kandu); })) return false;
    const change = this.kandu.change();
    if (change.removed.length || change.inserted.length) {
      this.history.record(change, selectionBefore, typeof selectionAfter === 'function'
        ? selectionAfter(result) : selectionAfter, mergeKey);
      this.revision++;
    }
    this.result = result;
    return true;
  }

  // The text replaced as a whole (the text pane, a draft, a script), as one step; `mergeKey` joins
  // a burst of typing into one.
  replaceText(data, selection = [], mergeKey = null) {
    return this.gesture((k) => k.open(data, this.source), selection, selection, mergeKey);
  }

  // The selection the step had, or null when there was nothing to undo (or redo).
  undo() { return this.replay((apply) => this.history.undo(apply)); }
  redo() { return this.replay((apply) => this.history.redo(apply)); }

  replay(step) {
    let selection = null;
    this.attempt(() => {
      selection = step((changes) => {
        for (const c of changes) this.kandu.replace(c.at, c.removed.length, c.inserted);
      });
    });
    if (selection !== null) this.revision++;
    return selection;
  }

  attempt(call) {
    try {
      call();
      this.error = '';
      return true;
    } catch (e) {
      if (!(e instanceof KanduError)) throw e;
      this.error = e.message;
      return false;
    }
  }
}
