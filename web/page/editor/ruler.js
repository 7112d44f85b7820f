// The ruler over the lanes (labelled beats, or seconds without a tempo, and the loop range) and the
// grid drawn behind the blocks. Where the lines fall comes from the module's grid.
import { msOf, xOf } from './layout.js';

const kMinStepPx = 6, kMinBeatPx = 4, kMinTickPx = 50;
const kLineStyles = { step: 'rgba(255,255,255,0.07)', beat: 'rgba(255,255,255,0.16)', bar: 'rgba(255,255,255,0.35)' };

export function drawGrid(g, kandu, view, width, height) {
  const lines = kandu.gridLines(view.scrollMs, msOf(view, width), view.gridFraction,
                                kMinStepPx / view.pxPerMs, kMinBeatPx / view.pxPerMs);
  for (const line of lines) {
    const x = Math.round(xOf(view, line.ms)) + 0.5;
    g.strokeStyle = kLineStyles[line.strength];
    g.beginPath();
    g.moveTo(x, 0);
    g.lineTo(x, height);
    g.stroke();
  }
}

export function drawRuler(ruler, kandu, view, width) {
  ruler.textContent = '';
  const unit = kandu.hasTempo() ? 'b' : 's';
  for (const tick of kandu.ticks(view.scrollMs, msOf(view, width), kMinTickPx / view.pxPerMs)) {
    const el = document.createElement('div');
    el.className = 'tick';
    el.style.left = xOf(view, tick.ms) + 'px';
    el.textContent = tick.beat + unit;
    ruler.appendChild(el);
  }
  const tempo = kandu.docTempo();
  if (tempo) {
    const first = document.createElement('div');
    first.className = 'first-beat';
    first.style.left = xOf(view, tempo.offset) + 'px';
    first.title = 'The first beat (' + tempo.offset + ' ms): drag it to move the grid';
    ruler.appendChild(first);
  }
  for (const mark of kandu.marks()) {
    const el = document.createElement('div');
    el.className = 'mark';
    el.style.left = xOf(view, mark.ms) + 'px';
    el.textContent = mark.name;
    el.dataset.line = mark.line;
    el.dataset.ms = mark.ms;
    el.title = mark.name + ' at ' + kandu.timeText(mark.ms) + ': drag to move, double-click to rename';
    ruler.appendChild(el);
  }
  if (view.loop) {
    const band = document.createElement('div');
    band.className = 'loop';
    band.style.left = xOf(view, view.loop[0]) + 'px';
    band.style.width = (view.loop[1] - view.loop[0]) * view.pxPerMs + 'px';
    ruler.appendChild(band);
  }
}

// A time as the editor labels it: in beats (to a thousandth) with a tempo, else in milliseconds.
export function beatsText(kandu, ms) { return kandu.timeText(ms); }
