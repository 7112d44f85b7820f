// The web build's GL 1.x layer, run natively: the intro's portable sources compiled with
// web/gl/web_gl.h, as for the page, drawing through web_gl.cpp into an OpenGL ES 2 context on
// Mesa (what WebGL is in a browser). Each effect's picture must match what kandu-player renders
// with desktop OpenGL for the same frame, and the layer must leave no GL error behind.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "player/host_frame.h"
#include "timeline/capture_plan.h"
#include "player/headless.h"
#include "media/image.h"
#include "timeline/document.h"
#include "timeline/timeline.h"
#include "tests/support/pixels.h"
#include "tests/support/process.h"
#include "tests/weblayer/platform.h"

using namespace kandu;

extern "C" {
void InitDLL(int);
void setTimeDLL(const char *);
void getBlockInfo(const char *);
void ExecuteDLL(const char *);
void kglFlush(void);
GLenum kglGetError(void);
void kglEnable(GLenum);
void kglTexGeni(GLenum, GLenum, GLint);
void kglPushMatrix(void);
void kglPopMatrix(void);
void kglTranslatef(GLfloat, GLfloat, GLfloat);
void kglGetFloatv(GLenum, GLfloat *);
void kglBegin(GLenum);
void kglEnd(void);
void kglLineWidth(GLfloat);
}

namespace {

const int kWidth = 512, kHeight = 384;

// The ES framebuffer as top-row-first RGB.
Image readEs() {
  std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  Image image;
  image.width = kWidth, image.height = kHeight;
  image.rgb.resize(static_cast<size_t>(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c)
        image.at(x, kHeight - 1 - y)[c] = rgba[(static_cast<size_t>(y) * kWidth + x) * 4 + c];
  return image;
}

}  // namespace

// Every frame of a timeline with each drawing effect in turn is drawn through the layer; in the
// middle of each block the picture is compared with kandu-player's frame (one process, one intro:
// the water and the cube field carry their state from frame to frame, as in a render).
TEST(WebLayer, EveryEffectMatchesTheDesktopPictureFrameByFrame) {
  Workspace ws;
  const std::string text =
      "0 500 water_thing\n500 1000 jumping_bars\n1000 1500 jumping_bars2\n"
      "1500 2000 cube_thing\n2000 2500 morph\n2500 3000 cube_field\n";
  const std::string timeline = ws.write("t.timeline", text);
  Outcome native = runPlayer({"render", timeline, "--size", "512x384", "--fps", "60", "--plugin",
                               KANDU_PLUGIN, "--frames", ws.path("frames")});
  ASSERT_EQ(native.status, 0) << native.output;

  HeadlessContext es;
  std::string why;
  if (!es.create(kWidth, kHeight, HeadlessContext::Api::GLES2, why)) GTEST_SKIP() << why;
  std::string error;
  Timeline blocks;
  ASSERT_TRUE(parseTimeline(text, timeline, blocks, error)) << error;
  reseedWebLayerRandom();
  setWebLayerHostTime(0);
  InitDLL(0);
  HostCalls calls;
  calls.setTimeDLL = setTimeDLL;
  calls.getBlockInfo = getBlockInfo;
  calls.ExecuteDLL = ExecuteDLL;
  const CaptureRange range{0, 3000, 60};
  for (int64_t k = 0; k < range.frameCount(); ++k) {
    const int64_t t = range.frameTime(k);
    setWebLayerHostTime(static_cast<uint32_t>(t));
    drawHostFrame(calls, blocks, t, kWidth, kHeight, static_cast<double>(kWidth) / kHeight);
    kglFlush();
    ASSERT_EQ(kglGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "frame " << k;
    if (t % 500 != 250) continue;  // the middle of a block
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(k));
    Image desktop, web = readEs();
    ASSERT_TRUE(readPng(ws.path("frames/") + name, desktop, why)) << why;
    const std::string word = blocks.blocks[static_cast<size_t>(t / 500)].word;
    EXPECT_GT(litPixels(desktop, 20), kWidth * kHeight / 50) << word << ": nothing to compare";
    // The same rasteriser draws both pictures, so they agree all but exactly; only the cube field's
    // wide lines are drawn by the layer as GL's parallelograms rather than by llvmpipe's own line
    // rasteriser, and may differ at their ends by a pixel (the page's bound, 1.0, holds for it).
    EXPECT_LE(difference(web, desktop).mean, word == "cube_field" ? 1.0 : 0.1) << word << " at " << t << " ms";
    if (std::getenv("KANDU_WEBLAYER_PICTURES")) {
      writePng(std::string(std::getenv("KANDU_WEBLAYER_PICTURES")) + "/web-" + word + ".png", web, why);
      writePng(std::string(std::getenv("KANDU_WEBLAYER_PICTURES")) + "/desktop-" + word + ".png", desktop, why);
    }
  }
}

// What the layer cannot carry out it reports as GL would, through glGetError, the first error
// kept until asked for; and the refused call changes nothing.
TEST(WebLayer, RefusedCallsReachGlGetErrorAndChangeNothing) {
  HeadlessContext es;
  std::string why;
  if (!es.create(64, 64, HeadlessContext::Api::GLES2, why)) GTEST_SKIP() << why;
  const GLenum kFog = 0x0B60, kR = 0x2002, kMode = 0x2500, kSphereMap = 0x2402, kModelviewMatrix = 0x0BA6;
  const GLenum kStackOverflow = 0x0503, kStackUnderflow = 0x0504, kPolygon = 0x0009;
  while (kglGetError() != GL_NO_ERROR) {
  }
  kglEnable(kFog);  // a switch the layer does not draw
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_NO_ERROR));
  kglTexGeni(kR, kMode, static_cast<GLint>(kSphereMap));  // GL refuses sphere maps for r
  kglLineWidth(0);  // a second error: the first is the one kept
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_NO_ERROR));
  kglEnd();  // no glBegin
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_INVALID_OPERATION));
  kglBegin(kPolygon);  // not a primitive the layer assembles
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
  kglLineWidth(0);
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_INVALID_VALUE));

  // The modelview stack is 32 deep: the 32nd push overflows and leaves the top as it was.
  GLfloat before[16], after[16];
  kglGetFloatv(kModelviewMatrix, before);
  int pushed = 0;
  for (; pushed < 31; ++pushed) kglPushMatrix();
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_NO_ERROR));
  kglTranslatef(1, 2, 3);
  kglGetFloatv(kModelviewMatrix, after);
  kglPushMatrix();
  EXPECT_EQ(kglGetError(), kStackOverflow);
  GLfloat top[16];
  kglGetFloatv(kModelviewMatrix, top);
  EXPECT_EQ(top[12], after[12]);
  EXPECT_EQ(top[14], after[14]);
  for (; pushed > 0; --pushed) kglPopMatrix();
  kglGetFloatv(kModelviewMatrix, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], before[i]) << i;
  kglPopMatrix();
  EXPECT_EQ(kglGetError(), kStackUnderflow);
  EXPECT_EQ(kglGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
