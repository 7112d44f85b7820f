// Real-time playback in a window (GLFW).
#pragma once

#include <memory>

#include "media/audio.h"
#include "player/options.h"
#include "player/plugin.h"
#include "studio/link.h"
#include "timeline/timeline.h"

namespace kandu {

// Opens the window, initialises the loaded plug-in once its context is current and plays until
// the end, Esc or Q; returns the exit status. With `music`, the sound plays and the picture
// follows its position. With a studio's `link`, the window draws the page's text instead of
// watching the file, takes the page's transport and tells the page of its own keys; it starts
// paused and stops at the end rather than closing.
int runPlay(Plugin &plugin, const Timeline &timeline, const Options &options, std::unique_ptr<AudioSource> music,
            StudioLink *link = nullptr);
bool displayAvailable();

}  // namespace kandu
