// InitDLL through the export: everything the intro builds, and the texture it uploads.
#include <GL/gl.h>

#include <cstring>

#include "host/exports.h"
#include "intro/testbed.h"
#include "renderer/texture.h"
#include "scenegraph/water.h"
#include "texgen/stack.h"
#include "tests/support/gl_test.h"
#include "tests/support/intro_state.h"

using namespace kandu;

using namespace Kandu;

namespace {
cTestBed &initialised() {
  GLTest::freshIntro();
  InitDLL(12345);  // the argument means nothing, and a second call builds nothing
  return theIntro();
}
cKeyframeTrack *track(const char *name) { return static_cast<cKeyframeTrack *>(theIntro().tracks.findByName(name)); }
}  // namespace

TEST(IntroSetUp, RegistriesHoldTracksFontsLightAndEvents) {
  cTestBed &intro = initialised();
  EXPECT_NO_GL_ERROR();
  EXPECT_EQ(intro.tracks.count, 8);
  for (const char *name : {Names::waterColors, Names::introText, Names::camLook2, Names::camLook1, Names::zeroOneZero,
                           Names::zeroOne, Names::zeroHundred, Names::fieldCam})
    EXPECT_NE(track(name), nullptr) << name;
  cVector3 look = evaluate(*track(Names::camLook1), 0.5f);
  EXPECT_FLOAT_EQ(look.x, -15.0f);
  EXPECT_FLOAT_EQ(look.z, 2.0f);
  cVector3 water = evaluate(*track(Names::waterColors), 0.25f);
  EXPECT_FLOAT_EQ(water.x, 0.375f);
  EXPECT_FLOAT_EQ(water.y, 0.6f);
  EXPECT_FLOAT_EQ(water.z, 1.0f);
  ASSERT_EQ(intro.fonts.count, 2);
  EXPECT_STREQ(intro.fonts.get<cFont>(0)->name, "big1");
  EXPECT_EQ(intro.fonts.get<cFont>(0)->height, 42);
  EXPECT_STREQ(intro.fonts.get<cFont>(1)->name, "big_italic");
  EXPECT_STREQ(intro.fonts.get<cFont>(1)->faceName, "Verdana");
  EXPECT_EQ(intro.lights.count, 1);
  EXPECT_EQ(getLight(), intro.lights.first());
  EXPECT_EQ(getLight()->material.preset, 2);
  // The event table, in order: the bars' block and three rotate kicks.
  ASSERT_EQ(intro.events.count, 4);
  const struct {
    int32_t start, end;
    const char *name;
  } events[4] = {{0, 30000, "jumping_bars"}, {1000, 1020, "rotate"}, {3000, 3020, "rotate"}, {5000, 5020, "rotate"}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(intro.events.items[i]->start, events[i].start) << i;
    EXPECT_EQ(intro.events.items[i]->end, events[i].end) << i;
    EXPECT_STREQ(intro.events.items[i]->name, events[i].name) << i;
  }
  EXPECT_EQ(latestEnd(intro.events), 30000);
  EXPECT_EQ(intro.length, 30000.0f);
  EXPECT_EQ(intro.textureStacks.count, 1);
  // init ends by switching the scene light off.
  const std::vector<GLCall> &calls = GLTest::initCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2].name, "glDisable");
  EXPECT_EQ(calls[calls.size() - 2].args[0], GL_LIGHTING);
  EXPECT_EQ(calls.back().name, "glDisable");
  EXPECT_EQ(calls.back().args[0], GL_LIGHT0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  ASSERT_NE(intro.renderTarget, nullptr);
  EXPECT_EQ(intro.renderTarget->width, 1024);
}

TEST(IntroSetUp, ScenesAndNodePositions) {
  cTestBed &intro = initialised();
  VorbelScenegraph::baseNode *tower = intro.towerScene->findChild(Names::tower);
  ASSERT_NE(tower, nullptr);
  EXPECT_EQ(tower->position.x, -16.0f);
  EXPECT_EQ(tower->position.z, -4.0f);
  VorbelScenegraph::baseNode *cube = intro.cubeScene->findChild(Names::cube1);
  ASSERT_NE(cube, nullptr);
  EXPECT_FLOAT_EQ(cube->position.x, 2.3f);
  EXPECT_EQ(cube->position.z, 2.0f);
  EXPECT_NE(intro.towerScene2->findChild(Names::tower), nullptr);
  EXPECT_NE(intro.morphScene->findChild(Names::morph), nullptr);
  EXPECT_NE(intro.cubeField, nullptr);
  // The water carries one textured material made from the stack's result.
  VorbelScenegraph::baseNode *water = intro.waterScene->findChild(Names::water1);
  ASSERT_EQ(water->materials.count, 1);
  auto *material = water->materials.get<Vorbel::cMaterialTexture>(0);
  cTextureStack *stack = static_cast<cTextureStack *>(intro.textureStacks.first());
  EXPECT_EQ(material->texture, stack->result.texture);
}

TEST(IntroSetUp, SecondInitBuildsNothingMore) {
  cTestBed &intro = initialised();
  VorbelScenegraph::cRootNode *water = intro.waterScene;
  InitDLL(0);
  EXPECT_EQ(intro.tracks.count, 8);
  EXPECT_EQ(intro.waterScene, water);
}

TEST(IntroTexture, UploadedResultIsNinetyPercentNoiseOverPlasma) {
  cTestBed &intro = initialised();
  cTextureStack *stack = static_cast<cTextureStack *>(intro.textureStacks.first());
  glBindTexture(GL_TEXTURE_2D, stack->result.texture->textureName);
  std::vector<uint8_t> uploaded(128 * 128 * 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
  EXPECT_NO_GL_ERROR();
  Kandu::cTextureData noise, plasma;
  noise.allocate(128, 128);
  plasma.allocate(128, 128);
  Kandu::cPerlinNoiseGenerator().generate(noise);
  Kandu::cSinPlasmaGenerator().generate(plasma);
  const float a = 0.9f, b = static_cast<float>(1.0 - a);
  int mismatches = 0;
  for (int i = 0; i < 128 * 128; ++i) {
    for (int c = 0; c < 3; ++c) {
      int expected = static_cast<int>(noise.pixels[4 * i + c] * static_cast<double>(a) +
                                      plasma.pixels[4 * i + c] * static_cast<double>(b));
      if (uploaded[4 * i + c] != expected) ++mismatches;
    }
    if (uploaded[4 * i + 3] != 255) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(uploaded[0], static_cast<int>(64 * 0.9f + 127 * static_cast<double>(b)));
  // The four layer textures went up too, each under its own name.
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(glIsTexture(layerAt(stack, k)->texture->textureName));
}
