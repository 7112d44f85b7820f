// kandu-player: loads the kandu plug-in, owns the GL context and the timeline, and plays the intro
// in a window or captures it frame-exactly without a display.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <new>
#include <utility>

#include "base/printable.h"
#include "media/audio.h"
#include "player/capture.h"
#include "player/export.h"
#include "player/headless.h"
#include "player/locations.h"
#include "player/messages.h"
#include "player/options.h"
#include "player/plugin.h"
#include "player/signals.h"
#include "player/song.h"
#include "studio/server.h"
#include "player/timeline_file.h"
#include "player/window.h"
#include "timeline/demo_beat.h"
#include "timeline/document.h"

#ifndef KANDU_VERSION
#define KANDU_VERSION "unknown"
#endif

namespace kandu {
namespace {

// The soundtrack of a render or play: --music, else the timeline's own, else the built-in demo's
// beat. Null: silent (still and sheet have no sound, and only look at what the music is).
bool openSoundtrack(const Timeline &timeline, const Options &options, std::unique_ptr<AudioSource> &music,
                    std::string &error) {
  const std::string &path = !options.musicPath.empty() ? options.musicPath : timeline.music;
  if (options.command != Command::Render && options.command != Command::Play)
    return path.empty() || checkMusicPath(path, error);  // not opened, but a FIFO or a device is refused
  if (!path.empty()) return openMusic(path, music, error);
  if (options.timelinePath.empty()) music = std::make_unique<SampleBuffer>(demoBeat(timeline));
  return true;
}

int capture(const Plugin &plugin, const Timeline &timeline, const Options &options, AudioSource *music) {
  HeadlessContext context;
  std::string error;
  if (!context.create(options.width, options.height, error)) {
    complain("cannot create a headless OpenGL context: " + printable(error));
    return 1;
  }
  setHostTime(0);
  initPlugin(plugin);
  int status = 0;
  switch (options.command) {
    case Command::Still: status = runStill(plugin, timeline, options); break;
    case Command::Sheet: status = runSheet(plugin, timeline, options); break;
    default: status = runRender(plugin, timeline, options, music); break;
  }
  freePlugin(plugin);
  return status;
}

extern "C" char **environ;

void openBrowser(const std::string &address) {
  std::string program = "xdg-open", url = address;
  char *argv[] = {program.data(), url.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ) != 0)
    complain("cannot open a browser (xdg-open); open the address above");
  posix_spawn_file_actions_destroy(&actions);
}

// kandu-player edit: the studio's server, and with a display the window that follows the page.
int runEdit(const Options &options, const std::function<int(const std::string &)> &refuse) {
  std::string error;
  StudioLink link;
  Studio studio(link);
  StudioSetup setup;
  setup.timelinePath = options.timelinePath;
  setup.pageDir = options.pageDir;
  if (setup.pageDir.empty() && !findPages(setup.pageDir, error)) return refuse(error);
  setup.port = options.port;
  setup.playerPath = playerPath();
  setup.pluginPath = options.pluginPath;
  setup.withWindow = displayAvailable();
  // The window's timeline: the file as it is, or nothing yet (the page's first text replaces it).
  Timeline timeline;
  struct stat st{};
  const bool exists = stat(options.timelinePath.c_str(), &st) == 0 || errno != ENOENT;
  if (exists && !loadTimeline(options.timelinePath, timeline, error)) return refuse(error);
  Plugin plugin;
  std::string pluginPath = options.pluginPath;
  if (setup.withWindow && pluginPath.empty() && !findPlugin(pluginPath, error)) return refuse(error);
  if (setup.withWindow && !plugin.load(pluginPath, error)) return refuse(error);
  if (!studio.start(setup, error)) return refuse(error);
  std::printf("%s\n", studio.address().c_str());
  std::fflush(stdout);
  if (!options.noBrowser && displayAvailable()) openBrowser(studio.address());
  if (setup.withWindow) {
    signals::setPluginPath(printable(pluginPath));
    std::unique_ptr<AudioSource> music;
    if (!timeline.music.empty() && !openMusic(timeline.music, music, error)) complain(printable(error));
    const int status = runPlay(plugin, timeline, options, std::move(music), &link);
    studio.stop();
    return status;
  }
  while (!signals::stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  studio.stop();
  return 0;
}

int run(int argc, char **argv) {
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    complain(printable(error));
    return 2;
  }
  if (options.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("kandu-player %s\n", KANDU_VERSION);
    return 0;
  }
  if (options.command == Command::Default)
    options.command = displayAvailable() && !options.parts && !options.soundOnly ? Command::Play : Command::Render;
  // From here on SIGINT and SIGTERM end every command with their own status, however far it got.
  signals::install();
  // A step that failed because a signal interrupted it says nothing: the signal ends the player.
  auto refuse = [](const std::string &why) {
    if (signals::stopRequested()) signals::endWithStopSignal();
    complain(why);
    return 2;
  };

  if (options.command == Command::Edit) return runEdit(options, refuse);
  if (options.command == Command::Export) {
    if (options.pageDir.empty() && !findPages(options.pageDir, error)) return refuse(error);
    return runExport(options);
  }
  if (options.command == Command::Tempo || options.command == Command::New) {
    const int status = options.command == Command::Tempo ? runTempo(options) : runNew(options);
    if (status < 0) signals::endWithStopSignal();
    return status;
  }

  // Nothing is rendered from a timeline that does not parse, nor for a request that cannot succeed.
  Timeline timeline = builtInTimeline();
  if (!options.timelinePath.empty() && !loadTimeline(options.timelinePath, timeline, error)) return refuse(error);
  if (!resolveMarks(timeline, options, error)) return refuse(error);
  if (options.command == Command::Check) {
    std::fputs(listBlocks(timeline).c_str(), stdout);
    if (timeline.blocks.empty())
      complain("the timeline has no blocks: play and render show a black picture for as long as its music lasts");
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // A timeline without blocks (a song not yet cut) lasts as long as its music, over a black picture.
  if (timeline.blocks.empty()) {
    const std::string &path = !options.musicPath.empty() ? options.musicPath : timeline.music;
    std::unique_ptr<AudioSource> probe;
    if (!path.empty() && openMusic(path, probe, error)) timeline.silentEnd = std::max<int64_t>(0, probe->lengthMs());
    if (timeline.silentEnd <= 0 && (options.command == Command::Render || options.command == Command::Play))
      return refuse("the timeline has no blocks and no music to last for: nothing to " +
                    std::string(options.command == Command::Render ? "render" : "play"));
  }
  cutRangeToTimeline(timeline, options);
  if (!checkRequest(timeline, options, error)) return refuse(error);

  std::unique_ptr<AudioSource> music;
  if (!openSoundtrack(timeline, options, music, error)) return refuse(error);

  if (options.soundOnly) {
    const int status = runSoundOnly(timeline, options, music.get());
    if (status < 0) signals::endWithStopSignal();
    return status;
  }

  Plugin plugin;
  std::string pluginPath = options.pluginPath;
  if (pluginPath.empty() && !findPlugin(pluginPath, error)) return refuse(error);
  if (!plugin.load(pluginPath, error)) return refuse(error);
  signals::setPluginPath(printable(pluginPath));

  int status = options.command == Command::Play ? runPlay(plugin, timeline, options, std::move(music))
                                                : capture(plugin, timeline, options, music.get());
  if (status < 0 || signals::stopRequested()) signals::endWithStopSignal();
  return status;
}

}  // namespace
}  // namespace kandu

int main(int argc, char **argv) {
  try {
    const int status = kandu::run(argc, argv);
    if (kandu::signals::stopRequested()) kandu::signals::endWithStopSignal();
    return status;
  } catch (const std::bad_alloc &) {
    kandu::complain("out of memory");
    return 1;
  }
}
