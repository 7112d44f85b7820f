// The words a timeline may name, each once: the word, the intro's effect it sends (its constant
// in host/effects.h and its name), and what kind of block it makes (a scene that draws, a pulse
// that kicks one, a fade, or a word the intro takes that hosts do not offer). The plug-in's table,
// the timeline library and the web editor (through the module) are all made from this list.
#pragma once

#define KANDU_EFFECT_WORDS(X)                                       \
  X("water_thing", WaterThing, "water_thing", Drawing)             \
  X("jumping_bars", JumpingBars, "jumping_bars", Drawing)          \
  X("jumping_bars2", JumpingBars2, "jumping_bars2", Drawing)       \
  X("cube_thing", CubeThing, "cube_thing", Drawing)                \
  X("morph", Morph, "morph", Drawing)                              \
  X("cube_field", CubeField, "cube_field", Drawing)                \
  X("rotate", Rotate, "rotate", Pulse)                             \
  X("light", Light, "light", Pulse)                                \
  X("vibrate", Distort, "distort", Pulse)                          \
  X("fade", Fade, "fade", Fade)                                    \
  X("jumping_bars3", JumpingBars3, "jumping_bars3", Other)
