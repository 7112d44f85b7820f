#include "player/window.h"

#include "player/audio_out.h"
#include "player/messages.h"
#include "player/reload.h"

#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

struct PlayState {
  int64_t from = 0, to = 0;
  double position = 0;  // ms
  bool paused = false;
  bool quit = false;
  bool toggleFullScreen = false;
  bool moved = false;  // a key moved the position (the sound must follow)
};

void onKey(GLFWwindow *window, int key, int, int action, int) {
  if (action != GLFW_PRESS && action != GLFW_REPEAT) return;
  auto *s = static_cast<PlayState *>(glfwGetWindowUserPointer(window));
  switch (key) {
    case GLFW_KEY_SPACE: s->paused = !s->paused; break;
    case GLFW_KEY_LEFT: s->position = std::max<double>(s->from, s->position - 5000), s->moved = true; break;
    case GLFW_KEY_RIGHT: s->position = std::min<double>(s->to - 1, s->position + 5000), s->moved = true; break;
    case GLFW_KEY_HOME: s->position = s->from, s->moved = true; break;
    case GLFW_KEY_F: s->toggleFullScreen = true; break;
    case GLFW_KEY_ESCAPE:
    case GLFW_KEY_Q: s->quit = true; break;
    default: break;
  }
}

std::string title(const PlayState &s, const Timeline &timeline, const std::string &error) {
  if (!error.empty()) return "kandu — " + error;
  int64_t t = static_cast<int64_t>(s.position);
  char clock[32];
  std::snprintf(clock, sizeof clock, "%lld:%02lld.%03lld", static_cast<long long>(t / 60000),
                static_cast<long long>(t / 1000 % 60), static_cast<long long>(t % 1000));
  std::string words;
  for (const BlockCall &c : scheduleAt(timeline, t)) words += (words.empty() ? "" : " ") + c.block->word;
  return std::string("kandu — ") + clock + (s.paused ? " (paused)" : "") + " — " + (words.empty() ? "-" : words);
}

}  // namespace

bool displayAvailable() {
  const char *x = getenv("DISPLAY");
  const char *wayland = getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

int runPlay(Plugin &plugin, const Timeline &loaded, const Options &o, Audio audio) {
  Timeline timeline = loaded;
  TimelineWatcher watcher(o.timelinePath);
  // --music overrides the timeline's own, also when the timeline is edited.
  auto musicPath = [&] { return !o.musicPath.empty() ? o.musicPath : timeline.music; };
  MusicWatcher musicWatcher(musicPath());
  if (!glfwInit()) {
    std::fprintf(stderr, "kandu-player: cannot open a window (no display?); try 'render'\n");
    return 1;
  }
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  GLFWwindow *window = glfwCreateWindow(o.width, o.height, "kandu", nullptr, nullptr);
  if (!window) {
    std::fprintf(stderr, "kandu-player: cannot create a %dx%d OpenGL window\n", o.width, o.height);
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  useRealHostTime();
  initPlugin(plugin);

  PlayState s;
  s.from = o.from >= 0 ? o.from : 0;
  s.to = o.to >= 0 ? o.to : timeline.duration();
  s.position = static_cast<double>(s.from);
  // With music, the picture's clock is the sound's position; without a device, the wall clock.
  AudioOut sound;
  bool withSound = false, toldNoDevice = false;
  auto startSound = [&] {
    std::string why;
    withSound = sound.open(std::move(audio), why);
    if (withSound) {
      sound.seek(s.position);
      sound.pause(s.paused);
    } else if (!toldNoDevice) {
      complain("no audio device (" + printable(why) + "); playing silently on the wall clock");
      toldNoDevice = true;
    }
  };
  if (!audio.empty()) startSound();
  bool soundPaused = s.paused;
  glfwSetWindowUserPointer(window, &s);
  glfwSetKeyCallback(window, onKey);
  int windowedX = 0, windowedY = 0;

  using Clock = std::chrono::steady_clock;
  const GLFWvidmode *mode = glfwGetPrimaryMonitor() ? glfwGetVideoMode(glfwGetPrimaryMonitor()) : nullptr;
  const auto framePeriod = std::chrono::microseconds(1000000 / (mode && mode->refreshRate > 0 ? mode->refreshRate : 60));
  Clock::time_point last = Clock::now(), lastTitle{};
  while (!glfwWindowShouldClose(window) && !s.quit) {
    Clock::time_point now = Clock::now();
    // An edited timeline takes over at the same position.
    if (watcher.poll(timeline) && o.to < 0) s.to = timeline.duration();
    // Edited music (or a timeline naming other music) plays on at the same position.
    if (musicWatcher.poll(musicPath(), audio) && !toldNoDevice) {
      if (withSound)
        sound.replace(std::move(audio));
      else if (!audio.empty())
        startSound();
    }
    if (withSound) {
      if (s.moved) sound.seek(s.position);
      if (s.paused != soundPaused) sound.pause(soundPaused = s.paused);
      s.position = sound.positionMs();
    } else if (!s.paused) {
      s.position += std::chrono::duration<double, std::milli>(now - last).count();
    }
    s.moved = false;
    last = now;
    if (s.position >= static_cast<double>(s.to)) {
      if (!o.loop) break;
      s.position = static_cast<double>(s.from);
      if (withSound) sound.seek(s.position);
    }
    if (s.toggleFullScreen) {
      s.toggleFullScreen = false;
      if (glfwGetWindowMonitor(window)) {
        glfwSetWindowMonitor(window, nullptr, windowedX, windowedY, o.width, o.height, 0);
      } else if (GLFWmonitor *monitor = glfwGetPrimaryMonitor()) {
        glfwGetWindowPos(window, &windowedX, &windowedY);
        const GLFWvidmode *mode = glfwGetVideoMode(monitor);
        glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
      }
    }
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    if (width > 0 && height > 0)
      renderFrame(plugin, timeline, static_cast<int64_t>(s.position), width, height,
                  static_cast<double>(width) / height);
    glfwSwapBuffers(window);
    // Where the swap does not wait for the display (no vsync, as under Xvfb), frames are paced to
    // its refresh rate instead of spinning the CPU.
    std::this_thread::sleep_until(now + framePeriod);
    if (now - lastTitle > std::chrono::milliseconds(100)) {
      const std::string &error = !watcher.error().empty() ? watcher.error() : musicWatcher.error();
      glfwSetWindowTitle(window, title(s, timeline, error).c_str());
      lastTitle = now;
    }
    glfwPollEvents();
  }
  freePlugin(plugin);
  glfwDestroyWindow(window);
  glfwTerminate();
  return 0;
}
