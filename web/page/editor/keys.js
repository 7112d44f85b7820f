// The lanes' keys: which command a key press asks for. Keys act while the lanes (or a block in
// them) have focus, never while typing in the text; Ctrl+S saves from anywhere.

export const isMac = typeof navigator !== 'undefined' && /Mac|iPhone|iPad/.test(navigator.platform);

// Cmd on macOS, Ctrl elsewhere.
function withCommand(event, mac) { return mac ? event.metaKey : event.ctrlKey; }

// The command for a key press in the lanes, or null. `onBlock`: the key went to a block.
export function laneCommand(event, mac = isMac, onBlock = false) {
  const key = event.key, lower = key.length === 1 ? key.toLowerCase() : key;
  if (withCommand(event, mac)) {
    if (lower === 'z') return event.shiftKey ? 'redo' : 'undo';
    if (lower === 'y') return 'redo';
    if (lower === 'd') return 'duplicate';
    if (lower === 'c') return 'copy-time';
    if (lower === 'v') return 'paste-time';
    return null;
  }
  switch (key) {
    case ' ': return 'play-pause';
    case 'Delete': case 'Backspace': return 'delete';
    case 'ArrowLeft': return event.shiftKey ? 'shorten' : 'move-earlier';
    case 'ArrowRight': return event.shiftKey ? 'lengthen' : 'move-later';
    case 'i': case 'I': return event.shiftKey ? 'remove-time' : 'insert-time';
    case '+': case '=': return 'zoom-in';
    case '-': return 'zoom-out';
    case 'Home': return 'home';
    case 't': case 'T': return 'tap';
    case 'm': case 'M': return 'add-mark';
    case '[': return 'previous-mark';
    case ']': return 'next-mark';
    case 'l': case 'L': return 'loop-marks';
    case ',': return 'first-beat-earlier';
    case '.': return 'first-beat-later';
    case 'Enter': return onBlock ? (event.shiftKey ? 'select-add' : 'select') : null;
    case '?': return 'help';
    default: return null;
  }
}

// Whether a key press anywhere on the page asks to save.
export function isSave(event, mac = isMac) { return withCommand(event, mac) && event.key.toLowerCase() === 's'; }
