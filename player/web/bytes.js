'use strict';
// Text goes into and out of the module as UTF-8 bytes with their length, never as a C string, so
// that the timeline library reads a file exactly as kandu-player reads it from the disk: a NUL byte
// or a byte-order mark arrives as it stands, and nothing is cut. Shared by the player's page and
// the editor.

// Calls `call(pointer, length)` with `data` (a string or a Uint8Array) copied into the module's
// memory. Data larger than the module takes for a timeline is not copied: only its length goes
// (the pointer is 0), and the module refuses it with kandu-player's message.
function kanduWithBytes(module, data, call) {
  const bytes = typeof data === 'string' ? new TextEncoder().encode(data) : data;
  if (bytes.length > module._kandu_web_max_timeline_bytes()) return call(0, bytes.length);
  const at = module._malloc(Math.max(1, bytes.length));
  try {
    module.HEAPU8.set(bytes, at);
    return call(at, bytes.length);
  } finally {
    module._free(at);
  }
}

// The `length` bytes at `pointer` in the module's memory, copied out.
function kanduBytes(module, pointer, length) {
  return module.HEAPU8.slice(pointer, pointer + length);
}

// Those bytes as a string, a byte-order mark kept (as U+FEFF), so that encoding it again gives
// the same bytes.
function kanduText(module, pointer, length) {
  return new TextDecoder('utf-8', { ignoreBOM: true }).decode(module.HEAPU8.subarray(pointer, pointer + length));
}
