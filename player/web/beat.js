'use strict';
// The built-in demo's beat, made in code by the module, as a Web Audio buffer (null for a timeline
// of the user's, which has no beat). Shared by the player's page and the editor.
function kanduBeatBuffer(module, context) {
  const frames = module._malloc(4);
  const samples = module._kandu_web_beat(frames) >> 2;
  const count = module.HEAP32[frames >> 2];
  module._free(frames);
  if (count === 0) return null;
  const buffer = context.createBuffer(2, count, 48000);
  for (let c = 0; c < 2; ++c) {
    const channel = buffer.getChannelData(c);
    for (let i = 0; i < count; ++i) channel[i] = module.HEAPF32[samples + i * 2 + c];
  }
  return buffer;
}
