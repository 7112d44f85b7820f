#include "player/window.h"

#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/printable.h"
#include "player/audio_out.h"
#include "player/capture.h"
#include "player/messages.h"
#include "player/reload.h"
#include "player/signals.h"
#include "player/timeline_file.h"
#include "timeline/document.h"
#include "timeline/transport.h"

namespace kandu {

namespace {

struct WindowState {
  Transport *transport = nullptr;
  bool moved = false;  // a key moved the position (the sound must follow)
  bool keyed = false;  // a key moved or paused the transport (a studio's pages follow)
  bool quit = false;
  bool toggleFullScreen = false;
};

void onKey(GLFWwindow *window, int key, int, int action, int) {
  if (action != GLFW_PRESS && action != GLFW_REPEAT) return;
  auto *s = static_cast<WindowState *>(glfwGetWindowUserPointer(window));
  if (key == GLFW_KEY_SPACE || key == GLFW_KEY_LEFT || key == GLFW_KEY_RIGHT || key == GLFW_KEY_HOME) s->keyed = true;
  switch (key) {
    case GLFW_KEY_SPACE: s->transport->press(Transport::Key::PlayPause); break;
    case GLFW_KEY_LEFT: s->moved |= s->transport->press(Transport::Key::Back); break;
    case GLFW_KEY_RIGHT: s->moved |= s->transport->press(Transport::Key::Forward); break;
    case GLFW_KEY_HOME: s->moved |= s->transport->press(Transport::Key::Home); break;
    case GLFW_KEY_F: s->toggleFullScreen = true; break;
    case GLFW_KEY_ESCAPE:
    case GLFW_KEY_Q: s->quit = true; break;
    default: break;
  }
}

// GLFW's own words for what went wrong, for the message.
std::string gGlfwError;
void onGlfwError(int, const char *description) { gGlfwError = description ? description : ""; }

void toggleFullScreen(GLFWwindow *window, const Options &o, int &windowedX, int &windowedY) {
  if (glfwGetWindowMonitor(window)) {
    glfwSetWindowMonitor(window, nullptr, windowedX, windowedY, o.width, o.height, 0);
  } else if (GLFWmonitor *monitor = glfwGetPrimaryMonitor()) {
    glfwGetWindowPos(window, &windowedX, &windowedY);
    const GLFWvidmode *mode = glfwGetVideoMode(monitor);
    glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
  }
}


// The page's newest text and transport, taken by the window before it draws a frame; true when
// the position moved (the sound must follow). `changed`: the picture must be drawn again.
bool followStudio(StudioLink &link, const Options &o, Timeline &timeline, uint64_t &revision, Transport &transport,
                  bool &changed) {
  uint64_t newest = 0;
  std::string text, error;
  if (link.takeDraft(newest, text)) {
    Timeline drafted;
    if (parseTimeline(text, o.timelinePath, drafted, error)) {
      resolveMusic(o.timelinePath, drafted);
      timeline = std::move(drafted);
      transport.setEnd(timeline.duration());
      revision = newest;
      changed = true;
    }
  }
  TransportMove move;
  if (!link.takeMove(move)) return false;
  changed = true;
  if (move.setLoop) {
    const bool loop = move.loopTo > move.loopFrom;
    transport.setRange(loop ? move.loopFrom : 0, loop ? move.loopTo : timeline.duration(), loop);
  }
  if (move.setPosition) transport.seek(move.positionMs);
  if (move.setPlaying) transport.setPaused(!move.playing);
  return move.setPosition || move.setLoop;
}

void tellStudio(StudioLink &link, const Transport &transport) {
  char data[128];
  std::snprintf(data, sizeof data, "{\"playing\":%s,\"positionMs\":%.3f,\"tab\":\"window\"}",
                transport.paused() ? "false" : "true", transport.position());
  link.publish("transport", data);
}

}  // namespace

bool displayAvailable() {
  const char *x = getenv("DISPLAY");
  const char *wayland = getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

int runPlay(Plugin &plugin, const Timeline &loaded, const Options &o, std::unique_ptr<AudioSource> music,
            StudioLink *link) {
  Timeline timeline = loaded;
  uint64_t drawnRevision = 0;
  TimelineWatcher watcher(link ? std::string() : o.timelinePath);
  // --music overrides the timeline's own, also when the timeline is edited.
  auto musicPath = [&] { return !o.musicPath.empty() ? o.musicPath : timeline.music; };
  MusicWatcher musicWatcher(musicPath());
  glfwSetErrorCallback(onGlfwError);
  if (!glfwInit()) {
    complain("cannot open a window (" + printable(gGlfwError.empty() ? "no display?" : gGlfwError) + "); try 'render'");
    return 1;
  }
  glfwWindowHint(GLFW_DEPTH_BITS, 24);
  GLFWwindow *window = glfwCreateWindow(o.width, o.height, "kandu", nullptr, nullptr);
  if (!window) {
    complain("cannot create a " + std::to_string(o.width) + "x" + std::to_string(o.height) + " OpenGL window (" +
             printable(gGlfwError) + ")");
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  useRealHostTime();
  initPlugin(plugin);

  Transport transport(o.from >= 0 ? o.from : 0, o.to >= 0 ? o.to : timeline.duration(), o.loop);
  if (link) {
    transport.setPaused(true);
    link->windowOpened(true);
    // The GL state as the plug-in leaves it after its start, kept for the studio's stills: each is
    // drawn from that state, as still draws in a fresh context, not from what the frames before
    // left behind (a colour an effect did not reset).
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  }
  // With music, the picture's clock is the sound's position; without a device, the wall clock.
  AudioOut sound;
  bool withSound = false, toldNoDevice = false;
  auto startSound = [&] {
    std::string why;
    withSound = sound.open(std::move(music), why);
    if (withSound) {
      sound.seek(transport.position());
      sound.pause(transport.paused());
    } else if (!toldNoDevice) {
      complain("no audio device (" + printable(why) + "); playing silently on the wall clock");
      toldNoDevice = true;
    }
  };
  if (music) startSound();
  bool soundPaused = transport.paused();
  bool stillDirty = true;  // the studio's paused picture must be drawn again
  int stillWidth = 0, stillHeight = 0;
  WindowState state;
  state.transport = &transport;
  glfwSetWindowUserPointer(window, &state);
  glfwSetKeyCallback(window, onKey);
  int windowedX = 0, windowedY = 0;

  using Clock = std::chrono::steady_clock;
  const GLFWvidmode *mode = glfwGetPrimaryMonitor() ? glfwGetVideoMode(glfwGetPrimaryMonitor()) : nullptr;
  const auto framePeriod = std::chrono::microseconds(1000000 / (mode && mode->refreshRate > 0 ? mode->refreshRate : 60));
  Clock::time_point last = Clock::now(), lastTitle{};
  while (!glfwWindowShouldClose(window) && !state.quit && !signals::stopRequested()) {
    Clock::time_point now = Clock::now();
    // An edited timeline takes over at the same position.
    if (watcher.poll(timeline) && o.to < 0) transport.setEnd(timeline.duration());
    if (link) state.moved |= followStudio(*link, o, timeline, drawnRevision, transport, stillDirty);
    // Edited music (or a timeline naming other music) plays on at the same position.
    if (musicWatcher.poll(musicPath(), music) && !toldNoDevice) {
      if (withSound)
        sound.replace(std::move(music));
      else if (music)
        startSound();
    }
    if (withSound) {
      if (state.moved) sound.seek(transport.position());
      if (transport.paused() != soundPaused) sound.pause(soundPaused = transport.paused());
      transport.follow(sound.positionMs());
    } else {
      transport.advance(std::chrono::duration<double, std::milli>(now - last).count());
    }
    state.moved = false;
    last = now;
    Transport::End end = transport.checkEnd();
    if (end == Transport::End::Finished && link && !transport.paused()) {
      transport.setPaused(true);
      state.keyed = true;
    } else if (end == Transport::End::Finished && !link) {
      break;
    }
    if (link && state.keyed) tellStudio(*link, transport);
    state.keyed = false;
    if (end == Transport::End::Wrapped && withSound) sound.seek(transport.position());
    if (state.toggleFullScreen) {
      state.toggleFullScreen = false;
      toggleFullScreen(window, o, windowedX, windowedY);
    }
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    if (link && transport.paused()) {
      // Paused in the studio, the window shows what still would write for this moment, drawn once
      // per change (the picture stays on show until the next one).
      stillDirty |= state.moved || width != stillWidth || height != stillHeight;
      if (stillDirty && width > 0 && height > 0) {
        glPopClientAttrib();
        glPopAttrib();
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        drawStill(plugin, timeline, transport.positionMs(), o.fps, width, height);
        glfwSwapBuffers(window);
        stillWidth = width, stillHeight = height;
      }
      stillDirty = false;
    } else {
      if (link) useRealHostTime(), stillDirty = true;
      if (width > 0 && height > 0)
        renderFrame(plugin, timeline, transport.positionMs(), width, height, static_cast<double>(width) / height);
      glfwSwapBuffers(window);
    }
    if (link) link->drewFrame(drawnRevision, transport.position(), !transport.paused(), Clock::now());
    // Where the swap does not wait for the display (no vsync, as under Xvfb), frames are paced to
    // its refresh rate instead of spinning the CPU.
    std::this_thread::sleep_until(now + framePeriod);
    if (now - lastTitle > std::chrono::milliseconds(100)) {
      std::string error = !watcher.error().empty() ? watcher.error() : musicWatcher.error();
      if (error.empty() && withSound) error = sound.error();
      std::string title = std::string(link ? "kandu studio — " : "kandu — ") + (error.empty() ? titleText(timeline, transport) : error);
      glfwSetWindowTitle(window, title.c_str());
      lastTitle = now;
    }
    glfwPollEvents();
  }
  if (link) link->windowOpened(false);
  freePlugin(plugin);
  glfwDestroyWindow(window);
  glfwTerminate();
  return 0;
}

}  // namespace kandu
