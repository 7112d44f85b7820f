// Where things are in the lanes: time across (the zoom and the time at the left edge), one lane
// per word down. Pure arithmetic on the view's state, no DOM.

export const kLaneHeight = 26;
export const kBlockInset = 3;   // a block's top below its lane's
export const kBlockHeight = 20;
export const kMinBlockPx = 3;
export const kMinZoom = 0.002, kMaxZoom = 4;  // pixels per millisecond

// The view's state, owned by the editor and passed to whoever draws or edits.
export function newView() {
  return {
    pxPerMs: 0.08,     // zoom
    scrollMs: 0,       // the time at the left edge
    gridFraction: 0.25,
    blocks: [],        // [start, end, word, line]
    lanes: [],         // words, top to bottom
    selected: new Set(),  // lines
    duration: 1,
    playing: false,
    playhead: 0,
    loop: null,        // [a, b) or null
    frames: 0,
    drawnRevision: 0,
    follow: true,
  };
}

export function xOf(view, ms) { return (ms - view.scrollMs) * view.pxPerMs; }
export function msOf(view, x) { return x / view.pxPerMs + view.scrollMs; }

// The lanes for `blocks`: the known words that occur, in the order `words` lists them, then any
// other word in order of appearance; the first drawing word alone when there are no blocks.
export function laneWords(blocks, words) {
  const present = new Set(blocks.map((b) => b[2]));
  const known = words.map((w) => w.word);
  const lanes = known.filter((w) => present.has(w));
  for (const w of present) if (!known.includes(w)) lanes.push(w);
  return lanes.length ? lanes : known.slice(0, 1);
}

export function laneOf(view, word) {
  const i = view.lanes.indexOf(word);
  return i < 0 ? 0 : i;
}

// 'drawing', 'pulse', 'fading', 'other' for a known word; 'other' for one the module does not know.
export function kindOf(word, words) {
  const found = words.find((w) => w.word === word);
  return found ? found.kind : 'other';
}

// A block's box in the lanes, its start moved by `shiftMs` (a move being dragged).
export function blockBox(view, block, shiftMs = 0) {
  return {
    x: xOf(view, block[0] + shiftMs),
    y: laneOf(view, block[2]) * kLaneHeight + kBlockInset,
    width: Math.max(kMinBlockPx, (block[1] - block[0]) * view.pxPerMs),
  };
}

export function lanesHeight(view) { return view.lanes.length * kLaneHeight; }

// The lines of the blocks a selection band from (x0, y0) to (x1, y1) touches (x in the view, y in
// the lanes).
export function blocksInBand(view, x0, y0, x1, y1) {
  const from = msOf(view, Math.min(x0, x1)), to = msOf(view, Math.max(x0, x1));
  const top = Math.min(y0, y1), bottom = Math.max(y0, y1);
  const lines = [];
  for (const b of view.blocks) {
    const y = laneOf(view, b[2]) * kLaneHeight + kBlockInset;
    if (b[1] > from && b[0] < to && y + kBlockHeight > top && y < bottom) lines.push(b[3]);
  }
  return lines;
}

// What a pointer at `x` on `block` grabs: an edge within 6 px of it (on a block wide enough to have
// a middle), else the whole block.
export function grabAt(view, block, x) {
  const left = xOf(view, block[0]), right = xOf(view, block[1]);
  if (right - left <= 14) return 'move';
  if (x - left < 6) return 'start';
  if (right - x < 6) return 'end';
  return 'move';
}

// The zoom multiplied by `factor`, keeping the time `aroundMs` where it is on the screen.
export function zoomed(view, factor, aroundMs) {
  const x = xOf(view, aroundMs);
  const pxPerMs = Math.min(kMaxZoom, Math.max(kMinZoom, view.pxPerMs * factor));
  return { pxPerMs, scrollMs: Math.max(0, aroundMs - x / pxPerMs) };
}

// Where to scroll so that the playhead shows in a view `width` wide (40 px from its left edge),
// or null when it shows already.
export function revealScroll(view, width) {
  const x = xOf(view, view.playhead);
  if (x >= 0 && x <= width - 40) return null;
  return Math.max(0, view.playhead - 40 / view.pxPerMs);
}

// The lines whose selection differs between `before` and `after` (sets).
export function selectionChanged(before, after) {
  const changed = new Set();
  for (const line of before) if (!after.has(line)) changed.add(line);
  for (const line of after) if (!before.has(line)) changed.add(line);
  return changed;
}

// The selection after a click on `line` (-1: on nothing), Shift (`add`) toggling it.
export function selectionAfterClick(selected, line, add) {
  const next = new Set(add ? selected : []);
  if (add && next.has(line)) next.delete(line); else next.add(line);
  next.delete(-1);
  return next;
}
