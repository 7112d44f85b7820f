// kandu-player: loads the kandu plug-in, owns the GL context and the timeline, and plays the intro
// in a window or captures it frame-exactly without a display.
#include <cstdio>

#include "player/capture.h"
#include "player/headless.h"
#include "player/options.h"
#include "player/plugin.h"
#include "player/window.h"

#ifndef KANDU_VERSION
#define KANDU_VERSION "unknown"
#endif

int main(int argc, char **argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "kandu-player: %s\n", error.c_str());
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

  // Nothing is rendered from a timeline that does not parse.
  Timeline timeline = builtInTimeline();
  if (!options.timelinePath.empty() && !loadTimeline(options.timelinePath, timeline, error)) {
    std::fprintf(stderr, "kandu-player: %s\n", error.c_str());
    return 2;
  }

  Plugin plugin;
  std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  if (!plugin.load(pluginPath, error)) {
    std::fprintf(stderr, "kandu-player: %s\n", error.c_str());
    return 2;
  }

  if (options.command == Command::Play) return runPlay(plugin, timeline, options);

  HeadlessContext context;
  if (!context.create(options.width, options.height)) {
    std::fprintf(stderr, "kandu-player: cannot create a headless OpenGL context: %s\n", context.error().c_str());
    return 1;
  }
  setHostTime(0);
  plugin.InitDLL(0);
  int status = 0;
  switch (options.command) {
    case Command::Still: status = runStill(plugin, timeline, options); break;
    case Command::Sheet: status = runSheet(plugin, timeline, options); break;
    default: status = runRender(plugin, timeline, options); break;
  }
  plugin.FreeDLL(0);
  return status;
}
