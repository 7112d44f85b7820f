#include <GL/gl.h>

#include "renderer/camera.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/gl_test.h"

using namespace kandu;

using Recorder::named;
using Recorder::names;

namespace {
void expectArgs(const GLCall &call, std::vector<double> expected) {
  ASSERT_EQ(call.args.size(), expected.size()) << call.name;
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_FLOAT_EQ(call.args[i], expected[i]) << call.name << " arg " << i;
}
}  // namespace

TEST(Camera, AppliesLookAtWithUpY) {
  cCamera camera;
  Recorder::start();
  camera.apply();
  camera.setEye(1, 2, 3);
  camera.setLookAt(4, 5, 6);
  camera.apply();
  auto calls = Recorder::stop();
  ASSERT_EQ(calls.size(), 2u);
  expectArgs(calls[0], {0, 0, 0, 0, 0, 0, 0, 1, 0});
  expectArgs(calls[1], {1, 2, 3, 4, 5, 6, 0, 1, 0});
  EXPECT_EQ(camera.getEye().z, 3.0f);
}

TEST(Light, FreshLightSwitchesOnWithoutMaterial) {
  cLight light;
  Recorder::start();
  light.switchOn();
  auto calls = Recorder::stop();
  std::vector<std::string> expected = {"glEnable", "glEnable", "glLightf", "glLightfv", "glLightfv",
                                       "glLightfv", "glLightfv", "glLightfv"};
  ASSERT_EQ(names(calls), expected);
  expectArgs(calls[0], {GL_LIGHTING});
  expectArgs(calls[1], {GL_LIGHT0});
  expectArgs(calls[2], {GL_LIGHT0, GL_SPOT_CUTOFF, 180});
  expectArgs(calls[3], {GL_LIGHT0, GL_SPOT_DIRECTION, 0, 0, -1});
  expectArgs(calls[4], {GL_LIGHT0, GL_POSITION, 0, 0, 2, 0});
  expectArgs(calls[5], {GL_LIGHT0, GL_DIFFUSE, 1, 1, 1, 1});
  expectArgs(calls[6], {GL_LIGHT0, GL_AMBIENT, 0, 0, 0, 1});
  expectArgs(calls[7], {GL_LIGHT0, GL_SPECULAR, 1, 1, 1, 1});
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  light.switchOff();
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_NO_GL_ERROR();
}

TEST(Light, SelectedMaterialEndsTheSwitchOnWithPresetTwo) {
  cLight light;
  light.selectMaterial();
  Recorder::start();
  light.switchOn();
  auto calls = Recorder::stop();
  ASSERT_GE(calls.size(), 5u);
  std::vector<GLCall> tail(calls.end() - 5, calls.end());
  ASSERT_EQ(names(tail), (std::vector<std::string>{"glMaterialfv", "glMaterialfv", "glMaterialfv", "glMaterialfv",
                                                   "glMaterialf"}));
  expectArgs(tail[0], {GL_FRONT_AND_BACK, GL_AMBIENT, 0.24725f, 0.0745f, 0.0745f, 1});
  expectArgs(tail[1], {GL_FRONT_AND_BACK, GL_DIFFUSE, 0.75164f, 0.60648f, 0.22648f, 1});
  expectArgs(tail[2], {GL_FRONT_AND_BACK, GL_SPECULAR, 0.628281f, 0.555802f, 0.366065f, 1});
  expectArgs(tail[3], {GL_FRONT_AND_BACK, GL_EMISSION, 0, 0, 0, 1});
  expectArgs(tail[4], {GL_FRONT_AND_BACK, GL_SHININESS, 51.2f});
  GLfloat diffuse[4];
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  EXPECT_FLOAT_EQ(diffuse[0], 0.75164f);
  light.material.setPreset(0);
  Recorder::start();
  light.switchOn();
  EXPECT_TRUE(named(Recorder::stop(), "glMaterialfv").empty());
  light.switchOff();
  EXPECT_NO_GL_ERROR();
}

TEST(Light, DisabledLightMakesNoCalls) {
  cLight light;
  light.enabled = 0;
  Recorder::start();
  light.switchOn();
  light.switchOff();
  EXPECT_TRUE(Recorder::stop().empty());
}

TEST(Light, PositionGoesThroughTheCurrentModelview) {
  cLight light;
  light.setPosition(0, 8, -3);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(90, 0, 1, 0);
  light.switchOn();
  GLfloat eyePosition[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, eyePosition);
  EXPECT_NEAR(eyePosition[0], -3, 1e-5);  // (0, 8, -3) turned 90° about y
  EXPECT_NEAR(eyePosition[1], 8, 1e-5);
  EXPECT_EQ(eyePosition[3], 0.0f);
  light.switchOff();
  glLoadIdentity();
  EXPECT_NO_GL_ERROR();
}
