// Draws the Windows test host's frames through libkandu.so on the headless driver and compares
// them with what kandu_win_host.exe wrote: the result texture byte for byte, the pictures within a
// small tolerance (two builds of the plug-in, two GL front ends over Mesa).
//   kandu_win_compare WINDOWS_OUTDIR
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "player/headless.h"
#include "player/plugin.h"
#include "tests/windows/shots.h"

using namespace kandu;

namespace {
uint32_t gClock = 0;
int gPassed = 0, gFailed = 0;
Plugin gPlugin;

void check(bool ok, const std::string &what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  (ok ? gPassed : gFailed)++;
}

std::vector<uint8_t> readFile(const std::string &path, size_t skipHeaderLines = 0) {
  std::ifstream in(path, std::ios::binary);
  for (size_t i = 0; i < skipHeaderLines && in; ++i) in.ignore(1 << 20, '\n');
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void setTime(const char *t) { gPlugin.setTimeDLL(t); }
void blockInfo(const char *t) { gPlugin.getBlockInfo(t); }
void execute(const char *t) { gPlugin.ExecuteDLL(t); }
}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kandu_win_compare WINDOWS_OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  HeadlessContext context;
  std::string error;
  if (!context.create(Shots::kWidth, Shots::kHeight, error) || !gPlugin.load(KANDU_PLUGIN, error)) {
    std::fprintf(stderr, "kandu_win_compare: %s\n", error.c_str());
    return 1;
  }
  setHostTime(gClock);
  gPlugin.InitDLL(0);
  std::vector<uint8_t> texture = Shots::readResultTexture();
  std::vector<uint8_t> windowsTexture = readFile(dir + "/texture.rgba");
  check(windowsTexture == texture, "the result texture of kandu.dll equals libkandu.so's byte for byte");
  for (const Shots::Shot &shot : Shots::kShots) {
    setHostTime(gClock);  // the plug-in's clock, as the Windows host drives it
    Shots::hostFrame(setTime, blockInfo, execute, shot.word, shot.progress * 0.5f);
    gClock += 16;
    setHostTime(gClock);
    Shots::hostFrame(setTime, blockInfo, execute, shot.word, shot.progress);
    gClock += 16;
    std::vector<uint8_t> linux = Shots::readPicture();
    std::vector<uint8_t> windows = readFile(dir + "/" + shot.word + ".ppm", 3);
    if (windows.size() != linux.size()) {
      check(false, std::string(shot.word) + ": the Windows picture is missing");
      continue;
    }
    double sum = 0;
    size_t big = 0;
    for (size_t i = 0; i < linux.size(); ++i) {
      int d = std::abs(int(linux[i]) - int(windows[i]));
      sum += d;
      if (d > 32) ++big;
    }
    double mean = sum / linux.size(), share = double(big) / linux.size();
    char what[160];
    std::snprintf(what, sizeof what, "%s: the two builds agree (mean difference %.3f, %.3f%% of channels off by > 32)",
                  shot.word, mean, 100 * share);
    check(mean < 1.5 && share < 0.01, what);
  }
  std::printf("%d passed, %d failed\n", gPassed, gFailed);
  return gFailed == 0 ? 0 : 1;
}
