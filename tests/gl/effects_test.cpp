// Every effect word through the exports, called the way a host calls them: the host clears and
// resets the modelview, then setTimeDLL, getBlockInfo and ExecuteDLL for each active block.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "host/exports.h"
#include "intro/testbed.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/gl_test.h"
#include "tests/support/intro_state.h"
#include "timeline/timeline.h"

using namespace kandu;

using namespace Kandu;
using Recorder::count;
using Recorder::named;

namespace {
// One block of one host frame at `progress` of a 1000 ms block starting at 10000.
void call(const char *word, float progress) {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  std::string time = std::to_string(10000 + static_cast<int>(std::lround(progress * 1000)));
  setTimeDLL(time.c_str());
  getBlockInfo("10000,11000");
  ExecuteDLL(word);
}

void frame(const char *word, float progress) {
  GLTest::resetView();
  call(word, progress);
}

// The intro as InitDLL left it, and the renderer with its fonts made (the first frame would make them).
cTestBed &intro() { return GLTest::freshIntro(); }

VorbelScenegraph::baseNode *node(VorbelScenegraph::cRootNode *root, const char *name) { return root->findChild(name); }

struct Shot {
  const char *word;
  float progress;
  const char *golden;
};

// The pictures compared with the goldens: 256 × 192, box-filtered from 1024 × 768.
const Shot kShots[] = {
    {"water_thing", 0.3f, "water_thing"},   {"jumping_bars", 0.4f, "jumping_bars"},
    {"jumping_bars2", 0.6f, "jumping_bars2"}, {"cube_thing", 0.15f, "cube_thing"},
    {"morph", 0.45f, "morph"},              {"cube_field", 0.5f, "cube_field"},
};

void PrintTo(const Shot &shot, std::ostream *os) { *os << shot.word << " at " << shot.progress; }

double compareWithGolden(const Image &picture, const std::string &name, double *bigShare) {
  std::string path = std::string(KANDU_GOLDEN_DIR) + "/" + name + ".png";
  std::string error;
  if (std::getenv("KANDU_UPDATE_GOLDENS")) writePng(path, picture, error);
  Image golden;
  if (!readPng(path, golden, error)) return 1e9;
  PictureDifference d = difference(picture, golden);
  *bigShare = d.bigShare;
  return d.mean;
}
}  // namespace

class EffectPicture : public ::testing::TestWithParam<Shot> {};

TEST_P(EffectPicture, DrawsWhatTheEffectDescribesAndMatchesItsGolden) {
  const Shot &shot = GetParam();
  intro();
  frame(shot.word, shot.progress * 0.5f);  // the first call sets the camera the second one applies
  EXPECT_NO_GL_ERROR();
  frame(shot.word, shot.progress);
  EXPECT_NO_GL_ERROR();
  Image picture = GLTest::grab();
  GLTest::keep(picture, std::string("effect_") + shot.word);
  EXPECT_GT(litPixels(picture), 10000) << shot.word << " drew (almost) nothing";
  double bigShare = 0;
  double mean = compareWithGolden(downsample(picture, 4), shot.golden, &bigShare);
  EXPECT_LT(mean, 1.5) << shot.word << ": mean channel difference from tests/golden/" << shot.golden << ".png";
  EXPECT_LT(bigShare, 0.005) << shot.word << ": share of channels off by more than 32";
}

INSTANTIATE_TEST_SUITE_P(Effects, EffectPicture, ::testing::ValuesIn(kShots),
                         [](const testing::TestParamInfo<Shot> &info) { return std::string(info.param.word); });

namespace {
bool hasCall(const std::vector<GLCall> &calls, const std::string &name, const std::vector<double> &args) {
  for (const GLCall &c : calls)
    if (c.name == name && c.args.size() >= args.size() && std::equal(args.begin(), args.end(), c.args.begin()))
      return true;
  return false;
}
}  // namespace

// What each drawing word sets, read from the calls of its second frame (the first one set the
// camera that the second applies): the camera, clear colour, light, blending, culling and the
// scene's transform.
TEST(Effects, EveryDrawingWordSetsItsCameraLightBlendCullAndTransform) {
  const double f07 = static_cast<double>(0.7f);
  struct Case {
    const char *word;
    std::vector<double> eye;     // empty: from a track
    std::vector<double> lookAt;  // empty: from a track
    std::vector<double> lightPosition;  // empty: the light stays off
    bool blends, culls;
    std::vector<std::pair<std::string, std::vector<double>>> transforms;
  } cases[] = {
      {"water_thing", {0, 10, -3}, {0, 0, 0}, {}, false, false, {}},
      {"jumping_bars", {0, 40, -20}, {}, {0, 8, -3, 0}, true, true,
       {{"glScalef", {3, 3, 3}}, {"glTranslatef", {-16, 0, -4}}, {"glRotatef", {0, 0, 1, 0}}}},
      {"jumping_bars2", {10, 5, -40}, {-30, 0, 0}, {0, 10, -3, 0}, true, true,
       {{"glScalef", {3, 3, 3}}, {"glTranslatef", {-35, 0, -4}}}},
      {"cube_thing", {0, 0, -10}, {0, 0, 0}, {}, false, true, {{"glRotatef", {250, 1, 1, f07}}}},
      {"morph", {0, 0, -10}, {0, 0, 0}, {}, false, false, {{"glTranslatef", {-2, -2.5, -4}}}},
      {"cube_field", {}, {0, 0, 0}, {}, true, false, {}},
  };
  for (const Case &c : cases) {
    intro();
    call(c.word, 0.25f);
    Recorder::start();
    call(c.word, 0.25f);
    auto calls = Recorder::stop();
    auto look = named(calls, "gluLookAt");
    ASSERT_FALSE(look.empty()) << c.word;
    for (size_t i = 0; i < c.eye.size(); ++i) EXPECT_FLOAT_EQ(look[0].args[i], c.eye[i]) << c.word << " eye " << i;
    for (size_t i = 0; i < c.lookAt.size(); ++i)
      EXPECT_FLOAT_EQ(look[0].args[3 + i], c.lookAt[i]) << c.word << " target " << i;
    EXPECT_EQ(std::vector<double>(look[0].args.begin() + 6, look[0].args.end()), (std::vector<double>{0, 1, 0}));
    EXPECT_TRUE(hasCall(calls, "glClearColor", {0, 0, 0, 1})) << c.word;
    EXPECT_EQ(hasCall(calls, "glLightfv", {GL_LIGHT0, GL_POSITION}), !c.lightPosition.empty()) << c.word;
    if (!c.lightPosition.empty()) {
      std::vector<double> position = c.lightPosition;
      position.insert(position.begin(), {GL_LIGHT0, GL_POSITION});
      EXPECT_TRUE(hasCall(calls, "glLightfv", position)) << c.word;
      EXPECT_TRUE(hasCall(calls, "glEnable", {GL_LIGHTING})) << c.word;
    }
    EXPECT_EQ(hasCall(calls, "glBlendFunc", {GL_SRC_ALPHA, GL_ONE}), c.blends) << c.word;
    EXPECT_EQ(hasCall(calls, "glEnable", {GL_CULL_FACE}), c.culls) << c.word;
    for (const auto &t : c.transforms) EXPECT_TRUE(hasCall(calls, t.first, t.second)) << c.word << " " << t.first;
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << c.word;
    EXPECT_FALSE(glIsEnabled(GL_BLEND)) << c.word;
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << c.word;
    EXPECT_NO_GL_ERROR();
  }
}

// A rotate kick turns the bars about the vertical axis; jumping_bars2 keeps that turn.
TEST(Effects, RotateKickTurnsTheBarsAndTheSecondBarsKeepTheTurn) {
  intro();
  frame("jumping_bars", 0.0f);
  Image calm = GLTest::grab();
  call("rotate", 0.0f);
  Recorder::start();
  frame("jumping_bars", 0.0f);  // progress 0: the pulse keeps its 8 degrees
  auto kicked = Recorder::stop();
  EXPECT_TRUE(hasCall(kicked, "glRotatef", {8, 0, 1, 0}));
  EXPECT_NE(GLTest::grab().rgb, calm.rgb);
  Recorder::start();
  frame("jumping_bars2", 0.5f);
  auto second = Recorder::stop();
  EXPECT_TRUE(hasCall(second, "glRotatef", {8, 0, 1, 0}));
  EXPECT_TRUE(hasCall(second, "glTranslatef", {-35, 0, -4}));
}

TEST(Effects, WordsWithoutABlockDrawNothingAndOnlyApplyTheCamera) {
  intro();
  for (const char *word : {"jumping_bars3", "no_such_effect", "", "distort"}) {
    GLTest::resetView();
    Recorder::start();
    call(word, 0.5f);
    auto calls = Recorder::stop();
    EXPECT_EQ(Recorder::names(calls), (std::vector<std::string>{"glMatrixMode", "glLoadIdentity", "gluLookAt"}))
        << word;
    EXPECT_EQ(litPixels(GLTest::grab()), 0) << word;
  }
}

// The hosts' word kinds (the contact sheet's drawing words, the editor's lanes) are what the plug-in
// does with each word: a drawing word alone paints the frame, any other word alone leaves it black.
TEST(Effects, WordKindsAreWhatThePlugInDraws) {
  for (const EffectWord &w : effectWords()) {
    intro();
    frame(w.word, 0.25f);
    frame(w.word, 0.5f);
    EXPECT_NO_GL_ERROR();
    const int lit = litPixels(GLTest::grab());
    if (w.kind == WordKind::Drawing)
      EXPECT_GT(lit, 10000) << w.word << " is listed as drawing";
    else
      EXPECT_EQ(lit, 0) << w.word << " is listed as " << static_cast<int>(w.kind);
  }
}

TEST(Effects, TheFrameNeverClears) {
  intro();
  for (const char *word : {"water_thing", "jumping_bars", "cube_thing", "morph", "cube_field", "fade"}) {
    Recorder::start();
    call(word, 0.5f);
    EXPECT_EQ(count(Recorder::stop(), "glClear"), 0) << word;
  }
}

TEST(Effects, StateLeftBehindByEachEffect) {
  cTestBed &bed = intro();
  frame("water_thing", 0.5f);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint mode;
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
  EXPECT_EQ(mode, GL_EYE_LINEAR);
  cColor4 c = node(bed.waterScene, Names::water1)->color;
  EXPECT_FLOAT_EQ(c.r, 0.25f);
  EXPECT_FLOAT_EQ(c.a, 1.0f);

  for (const char *bars : {"jumping_bars", "jumping_bars2"}) {
    glEnable(GL_TEXTURE_GEN_S);
    frame(bars, 0.5f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S)) << bars;
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[3], 1.0f);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[3], 1.0f);
  }
  EXPECT_NO_GL_ERROR();
}

TEST(Effects, CubeThingTurnsCubeOneWithTheProgress) {
  cTestBed &bed = intro();
  // The host's example: time 1500 in the block 1000 to 2000.
  setTimeDLL("1500");
  getBlockInfo("1000,2000");
  ExecuteDLL("cube_thing");
  VorbelScenegraph::baseNode *cube = node(bed.cubeScene, Names::cube1);
  EXPECT_EQ(cube->rotationAngle, 500.0f);
  EXPECT_EQ(cube->rotationAxis.x, 1.0f);
  EXPECT_EQ(cube->rotationAxis.z, 0.7f);
  EXPECT_EQ(getCamera()->eye.z, -10.0f);
  call("cube_thing", 0.0f);
  EXPECT_EQ(cube->rotationAngle, 0.0f);
  call("cube_thing", 1.0f);
  EXPECT_EQ(cube->rotationAngle, 1000.0f);
}

TEST(Effects, LightPulseDecaysWithTheProgress) {
  intro();
  call("light", 0.0f);
  EXPECT_EQ(pulses().light, 8.0f);
  call("jumping_bars3", 0.0f);
  EXPECT_EQ(pulses().light, 8.0f);
  call("jumping_bars3", 0.5f);
  EXPECT_FLOAT_EQ(pulses().light, 7.7f);
  call("jumping_bars2", 0.0f);
  EXPECT_FLOAT_EQ(getCamera()->eye.y, 12.7f);  // the bars' camera rises with the pulse
}

TEST(Effects, RotatePulseGoesBelowZeroForOneCall) {
  cTestBed &bed = intro();
  pulses().rotate = 0.1f;
  call("jumping_bars", 1.0f);
  EXPECT_FLOAT_EQ(pulses().rotate, -0.6f);
  EXPECT_FLOAT_EQ(getCamera()->eye.y, 40.6f);
  EXPECT_FLOAT_EQ(node(bed.towerScene, Names::tower)->rotationAngle, -0.6f);
  call("jumping_bars3", 0.2f);
  EXPECT_EQ(pulses().rotate, 0.0f);
  call("rotate", 0.9f);
  EXPECT_EQ(pulses().rotate, 8.0f);
}

TEST(Effects, SecondBarsBeforeTheFirstDrawUnrotated) {
  cTestBed &bed = intro();
  call("jumping_bars2", 0.5f);
  VorbelScenegraph::baseNode *tower = node(bed.towerScene, Names::tower);
  EXPECT_EQ(tower->rotationAngle, 0.0f);
  EXPECT_EQ(tower->position.x, -35.0f);
  call("jumping_bars", 0.5f);
  EXPECT_EQ(tower->position.x, -16.0f);
  EXPECT_EQ(tower->rotationAxis.y, 1.0f);
}

TEST(Effects, VibrateKicksTheCubeFieldOnlyWhenCalm) {
  cTestBed &bed = intro();
  call("vibrate", 0.1f);
  EXPECT_EQ(bed.cubeField->distortion, 40.0f);
  bed.cubeField->distortion = 12.0f;
  call("vibrate", 0.1f);
  EXPECT_EQ(bed.cubeField->distortion, 12.0f);
}

TEST(Effects, FadeDarkensTowardsBlackAcrossTheBlock) {
  intro();
  GLTest::resetView();
  call("cube_thing", 0.0f);
  call("cube_thing", 0.0f);
  Image bright = GLTest::grab();
  GLTest::resetView();
  call("cube_thing", 0.0f);
  call("fade", 0.5f);
  Image half = GLTest::grab();
  GLTest::resetView();
  call("cube_thing", 0.0f);
  call("fade", 1.0f);
  Image black = GLTest::grab();
  int centre = bright.at(512, 384)[0];
  EXPECT_GT(centre, 200);
  EXPECT_NEAR(half.at(512, 384)[0], centre / 2, 3);
  EXPECT_EQ(litPixels(black, 2), 0);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_NO_GL_ERROR();
}
