// Pointer gestures: on the lanes, select (click, Shift+click, a band on empty lane), move a block
// (snapped to the grid, Alt: free), drag an edge, double-click to seek, wheel to scroll and zoom;
// on the ruler, scrub, Shift+drag the loop range, Shift+click to clear it. A pointer the browser
// does not know (as a script's) cannot be captured; its moves still come to the element.
import { blockBox, blocksInBand, grabAt, msOf, zoomed } from './layout.js';

function capture(el, event) {
  try { el.setPointerCapture(event.pointerId); } catch (e) { /* not a live pointer */ }
}

export function zoom(ed, factor, aroundMs) {
  Object.assign(ed.view, zoomed(ed.view, factor, aroundMs));
  ed.lanes.layout();
  ed.lanes.draw();
}

export function installPointer(ed) {
  const { view, kandu, lanes, edits, transport, $ } = ed;
  const lanesEl = $('lanes'), rulerEl = $('ruler');
  let drag = null, scrub = null;
  const local = (event, el) => {
    const rect = el.getBoundingClientRect();
    return { x: event.clientX - rect.left, y: event.clientY - rect.top + el.scrollTop };
  };

  lanesEl.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    lanesEl.focus({ preventScroll: true });
    const el = event.target.closest('.block');
    const { x, y } = local(event, lanesEl);
    if (!el) {
      if (!event.shiftKey) edits.select(-1, false);
      drag = { kind: 'band', x0: x, y0: y, at: [event.clientX, event.clientY] };
      capture(lanesEl, event);
      return;
    }
    const block = view.blocks[Number(el.dataset.index)], line = block[3];
    if (event.shiftKey) edits.select(line, true);
    else if (!view.selected.has(line)) edits.select(line, false);
    const moving = view.blocks.map((b, i) => [b, lanes.blockEls[i]]).filter(([b]) => view.selected.has(b[3]));
    drag = { kind: grabAt(view, block, x), x0: x, block, el, line, delta: 0, moving, at: [event.clientX, event.clientY] };
    capture(lanesEl, event);
    event.preventDefault();
  });

  // The drag follows the pointer; the drop takes where the pointer was let go too, since a quick
  // flick on a busy machine can bring the release without the moves before it.
  const follow = (event) => {
    const { x, y } = local(event, lanesEl), raw = (x - drag.x0) / view.pxPerMs;
    drag.at = [event.clientX, event.clientY];
    if (drag.kind === 'band') {
      const band = $('band');
      band.hidden = false;
      band.style.left = Math.min(x, drag.x0) + 'px';
      band.style.top = Math.min(y, drag.y0) + 'px';
      band.style.width = Math.abs(x - drag.x0) + 'px';
      band.style.height = Math.abs(y - drag.y0) + 'px';
      drag.x1 = x;
      drag.y1 = y;
      return;
    }
    const b = drag.block;
    if (drag.kind === 'move') {
      // Moved by whole grid steps (Alt: freely), so a block keeps its place on the grid.
      drag.delta = event.altKey ? raw : kandu.snapMove(b[0], raw, view.gridFraction);
      for (const [moved, el] of drag.moving) {
        const box = blockBox(view, moved, drag.delta);
        el.style.transform = 'translate(' + box.x + 'px,' + box.y + 'px)';
      }
    } else {
      const isStart = drag.kind === 'start', edge = isStart ? b[0] : b[1];
      const to = kandu.dragEdge(b[0], b[1], isStart, edge + raw, event.altKey, view.gridFraction);
      drag.delta = to - edge;
      const box = blockBox(view, isStart ? [to, b[1], b[2]] : [b[0], to, b[2]]);
      drag.el.style.transform = 'translate(' + box.x + 'px,' + box.y + 'px)';
      drag.el.style.width = box.width + 'px';
    }
  };
  lanesEl.addEventListener('pointermove', (event) => { if (drag) follow(event); });

  lanesEl.addEventListener('pointerup', (event) => {
    if (!drag) return;
    if (event.clientX !== drag.at[0] || event.clientY !== drag.at[1]) follow(event);
    const d = drag;
    drag = null;
    if (d.kind === 'band') {
      $('band').hidden = true;
      if (d.x1 === undefined) return;
      for (const line of blocksInBand(view, d.x0, d.y0, d.x1, d.y1)) view.selected.add(line);
      lanes.build();
      return;
    }
    if (Math.abs(d.delta) < 1e-9) {
      lanes.layout();
      return;
    }
    if (d.kind === 'move') {
      edits.move(d.delta, [...new Set(d.moving.map(([b]) => b[3]))]);
    } else {
      // An edge of a repeat's copy is the rule's edge: the first copy's moves as much.
      const first = view.blocks.find((b) => b[3] === d.line);
      edits.setEdge(d.line, d.kind === 'end', (d.kind === 'start' ? first[0] : first[1]) + d.delta);
    }
  });

  lanesEl.addEventListener('dblclick', (event) => {
    const el = event.target.closest('.block');
    if (el) transport.seek(view.blocks[Number(el.dataset.index)][0]);
  });

  lanesEl.addEventListener('wheel', (event) => {
    event.preventDefault();
    if (event.ctrlKey || event.metaKey) {
      zoom(ed, event.deltaY < 0 ? 1.25 : 0.8, msOf(view, local(event, lanesEl).x));
    } else if (event.shiftKey) {
      lanesEl.scrollTop += event.deltaY + event.deltaX;  // up and down the lanes
    } else {
      view.scrollMs = Math.max(0, view.scrollMs + (event.deltaY + event.deltaX) / view.pxPerMs);
      lanes.layout();
      lanes.draw();
    }
  }, { passive: false });

  // Up and down the lanes (the scroll bar, Shift+wheel, a block given focus): the backdrop follows.
  // Time scrolls by view.scrollMs alone, never sideways.
  lanesEl.addEventListener('scroll', () => {
    if (lanesEl.scrollLeft) lanesEl.scrollLeft = 0;
    lanes.draw();
  });

  const rulerMs = (event) => Math.max(0, msOf(view, event.clientX - rulerEl.getBoundingClientRect().left));
  rulerEl.addEventListener('pointerdown', (event) => {
    const ms = rulerMs(event);
    capture(rulerEl, event);
    if (event.target.classList.contains('mark')) {
      // A mark, dragged: it moves on the grid (Alt: freely), one undo step.
      const line = Number(event.target.dataset.line);
      scrub = { mark: line, grab: ms - Number(event.target.dataset.ms) };
      ed.marks.dragStart(line);
    } else if (event.target.classList.contains('first-beat')) {
      // The grid's first beat, dragged: the tempo line's offset follows (one undo step).
      scrub = { firstBeat: true, grab: ms - kandu.docTempo().offset };
      ed.tempo.dragStart();
    } else if (event.shiftKey) {
      scrub = { loop: true, from: kandu.snap(ms, view.gridFraction), moved: false };
    } else {
      scrub = { loop: false };
      transport.scrubbing = true;
      transport.seek(ms);
      transport.scrubSound(ms);
    }
    scrub.x = event.clientX;
  });
  const rulerFollow = (event) => {
    const ms = rulerMs(event);
    scrub.x = event.clientX;
    if (scrub.mark) {
      ed.marks.dragTo(scrub.mark, ms - scrub.grab, event.altKey);
    } else if (scrub.firstBeat) {
      ed.tempo.dragTo(ms - scrub.grab);
    } else if (scrub.loop) {
      scrub.moved = true;
      const to = kandu.snap(ms, view.gridFraction);
      view.loop = [Math.min(scrub.from, to), Math.max(scrub.from, to)];
      lanes.draw();
    } else {
      transport.seek(ms);
      transport.scrubSound(ms);
    }
  };
  rulerEl.addEventListener('pointermove', (event) => { if (scrub) rulerFollow(event); });
  rulerEl.addEventListener('dblclick', (event) => {
    if (event.target.classList.contains('mark')) ed.marks.rename(Number(event.target.dataset.line));
  });
  rulerEl.addEventListener('pointerup', (event) => {
    if (scrub && event.clientX !== scrub.x) rulerFollow(event);  // where it was let go, if not followed there
    if (scrub && scrub.loop) transport.setLoop(scrub.moved ? view.loop : null);
    scrub = null;
    transport.scrubbing = false;
  });
}
