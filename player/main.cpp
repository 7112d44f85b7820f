// kandu-player: loads the kandu plug-in, owns the GL context and the timeline, and plays the intro
// in a window or captures it frame-exactly without a display.
#include <cstdio>
#include <new>
#include <utility>

#include "player/audio.h"
#include "player/capture.h"
#include "player/headless.h"
#include "player/messages.h"
#include "player/options.h"
#include "player/plugin.h"
#include "player/signals.h"
#include "player/window.h"

#ifndef KANDU_VERSION
#define KANDU_VERSION "unknown"
#endif

namespace {

// The soundtrack of a render: --music, else the timeline's own, else the built-in demo's beat.
bool loadSoundtrack(const Timeline &timeline, const Options &options, Audio &audio, std::string &error) {
  if (options.command != Command::Render && options.command != Command::Play) return true;  // still, sheet
  const std::string &path = !options.musicPath.empty() ? options.musicPath : timeline.music;
  if (!path.empty()) return decodeAudio(path, audio, error);
  if (options.timelinePath.empty()) audio = synthesizeDemoTrack(timeline);
  return true;
}

int capture(const Plugin &plugin, const Timeline &timeline, const Options &options, const Audio &audio) {
  HeadlessContext context;
  if (!context.create(options.width, options.height)) {
    complain("cannot create a headless OpenGL context: " + printable(context.error()));
    return 1;
  }
  setHostTime(0);
  initPlugin(plugin);
  int status = 0;
  switch (options.command) {
    case Command::Still: status = runStill(plugin, timeline, options); break;
    case Command::Sheet: status = runSheet(plugin, timeline, options); break;
    default: status = runRender(plugin, timeline, options, audio); break;
  }
  freePlugin(plugin);
  return status;
}

int run(int argc, char **argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    complain(printable(error));
    return 2;
  }
  if (options.help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("kandu-player %s\n", KANDU_VERSION);
    return 0;
  }
  if (options.command == Command::Default) options.command = displayAvailable() ? Command::Play : Command::Render;
  Signals::install(options.command != Command::Play);

  // Nothing is rendered from a timeline that does not parse, nor for a request that cannot succeed.
  Timeline timeline = builtInTimeline();
  if (!options.timelinePath.empty() && !loadTimeline(options.timelinePath, timeline, error)) {
    complain(error);
    return 2;
  }
  if (!checkRequest(timeline, options, error)) {
    complain(error);
    return 2;
  }

  Audio audio;
  if (!loadSoundtrack(timeline, options, audio, error)) {
    complain(error);
    return 2;
  }

  Plugin plugin;
  std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!plugin.load(pluginPath, error)) {
    complain(error);
    return 2;
  }
  Signals::setPluginPath(printable(pluginPath));

  int status = options.command == Command::Play ? runPlay(plugin, timeline, options, std::move(audio))
                                                : capture(plugin, timeline, options, audio);
  if (status < 0 || Signals::stopRequested()) Signals::endWithStopSignal();
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    complain("out of memory");
    return 1;
  }
}
