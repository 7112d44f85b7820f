// Undo and redo as changes: each step keeps the byte ranges its edits replaced and what replaced
// them (never the whole text), with the selection before and after. The steps kept are bounded by
// their bytes: when they hold more than `limitBytes`, the oldest go.

// A change to the text: at byte `at`, `removed` (bytes) gave way to `inserted` (bytes).
export function inverse(change) {
  return { at: change.at, removed: change.inserted, inserted: change.removed };
}

// What a step costs to keep: its bytes and a little for its bookkeeping.
const kStepOverhead = 64;
function changeBytes(change) { return change.removed.length + change.inserted.length + kStepOverhead; }

export const kHistoryLimitBytes = 16 * 1024 * 1024;

export class History {
  constructor(limitBytes = kHistoryLimitBytes) {
    this.limitBytes = limitBytes;
    this.clear();
  }
  clear() {
    this.undoSteps = [];
    this.redoSteps = [];
    this.bytes = 0;
  }
  canUndo() { return this.undoSteps.length > 0; }
  canRedo() { return this.redoSteps.length > 0; }

  // A gesture's change. With `mergeKey` equal to the last step's, the change joins that step (a
  // burst of typing is one step). A new step forgets what could be redone.
  record(change, selectionBefore, selectionAfter, mergeKey = null) {
    if (!change.removed.length && !change.inserted.length) return;
    for (const step of this.redoSteps) this.bytes -= stepBytes(step);
    this.redoSteps = [];
    const last = this.undoSteps[this.undoSteps.length - 1];
    if (mergeKey !== null && last && last.mergeKey === mergeKey) {
      last.changes.push(change);
      last.selectionAfter = selectionAfter;
    } else {
      this.undoSteps.push({ changes: [change], selectionBefore, selectionAfter, mergeKey });
    }
    this.bytes += changeBytes(change);
    this.trim();
  }

  // The changes that undo the last step, in the order to apply them, and the selection to restore;
  // null when there is none. `apply` may throw: the step is then kept where it was.
  undo(apply) {
    const step = this.undoSteps[this.undoSteps.length - 1];
    if (!step) return null;
    const changes = step.changes.slice().reverse().map(inverse);
    apply(changes);
    this.redoSteps.push(this.undoSteps.pop());
    return step.selectionBefore;
  }
  redo(apply) {
    const step = this.redoSteps[this.redoSteps.length - 1];
    if (!step) return null;
    apply(step.changes);
    step.mergeKey = null;  // a redone step is never typed into
    this.undoSteps.push(this.redoSteps.pop());
    return step.selectionAfter;
  }

  trim() {
    while (this.bytes > this.limitBytes && this.undoSteps.length > 1) this.bytes -= stepBytes(this.undoSteps.shift());
  }
}

function stepBytes(step) {
  return step.changes.reduce((sum, change) => sum + changeBytes(change), 0);
}
