// Real-time playback in a window (GLFW).
#pragma once

#include "player/audio.h"
#include "player/options.h"
#include "player/plugin.h"
#include "player/timeline.h"

// Loads the plug-in's exports once the window's context is current; returns the exit status.
// With `audio`, the sound plays and the picture follows its position.
int runPlay(Plugin &plugin, const Timeline &timeline, const Options &options, Audio audio);
bool displayAvailable();
