// The shadow-mapping steps and the shadowed traversal on the real driver.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "renderer/camera.h"
#include "renderer/renderer.h"
#include "renderer/shadow.h"
#include "scenegraph/node.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/gl_test.h"

using namespace kandu;

using Recorder::count;
using Recorder::named;

namespace {
class CountingNode : public VorbelScenegraph::baseNode {
 public:
  void render(float) override {
    ++renders;
    glPushMatrix();
    getRenderer()->drawCube();
    glPopMatrix();
  }
  int renders = 0;
};
}  // namespace

// The shadow passes leave texture generation, depth comparison and alpha testing behind (no node
// of the intro uses them, so nothing cleans up): each test gives the GL state back.
class Shadow : public ::testing::Test {
 protected:
  void SetUp() override {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
  }
  void TearDown() override {
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    setCamera(nullptr);
    setLight(nullptr);
  }
  // A cleared view with the camera at `eye` and the light at `lightAt`, both current.
  void lookAndLight(cVector3 eye, cVector3 lightAt) {
    GLTest::resetView();
    camera_.setEye(eye.x, eye.y, eye.z);
    setCamera(&camera_);
    light_.setPosition(lightAt.x, lightAt.y, lightAt.z);
    setLight(&light_);
  }

  cCamera camera_;
  cLight light_;
};

TEST_F(Shadow, PrepareComputesMatricesAndCreatesTheDepthTextureOnce) {
  GLTest::resetView();
  cShadowMapState s;
  s.lightPosition = makeVector(0, 5, 1);
  s.cameraPosition = makeVector(0, 2, 6);
  glTranslatef(1, 2, 3);
  GLfloat before[16], after[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, before);
  Recorder::start();
  prepareShadowMap(&s);
  prepareShadowMap(&s);
  auto calls = Recorder::stop();
  glGetFloatv(GL_MODELVIEW_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]);
  EXPECT_EQ(count(calls, "glGenTextures"), 1);
  EXPECT_EQ(s.textureCreated, 1);
  glBindTexture(GL_TEXTURE_2D, s.depthTexture);
  GLint w, format, minFilter, wrap;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(w, 512);
  EXPECT_EQ(format, GL_DEPTH_COMPONENT);
  EXPECT_EQ(minFilter, GL_NEAREST);
  EXPECT_EQ(wrap, GL_CLAMP);
  // The light's projection is gluPerspective(45, 1, 2, 8) on identity.
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(45, 1, 2, 8);
  GLfloat expected[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, expected);
  glPopMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(s.lightProjection[i], expected[i]);
  EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
  EXPECT_NO_GL_ERROR();
  glDisable(GL_CULL_FACE);
}

TEST_F(Shadow, ProjectionGeneratesFourPlanesInOrder) {
  cShadowMapState s;
  prepareShadowMap(&s);
  Recorder::start();
  beginShadowProjection(&s);
  auto calls = Recorder::stop();
  auto planes = named(calls, "glTexGenfv");
  ASSERT_EQ(planes.size(), 4u);
  const GLenum coords[4] = {GL_S, GL_T, GL_R, GL_Q};
  const GLenum gens[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
  cMatrix4 t = multiply(multiply(shadowBiasMatrix(), s.lightProjection), s.lightView);
  for (int i = 0; i < 4; ++i) {
    size_t at = 0;
    while (!(calls[at].name == "glTexGenfv" && calls[at].args[0] == coords[i])) ++at;
    EXPECT_EQ(calls[at - 1].name, "glTexGeni");
    EXPECT_EQ(calls[at - 1].args[0], coords[i]);
    EXPECT_EQ(calls[at + 1].name, "glEnable");
    EXPECT_EQ(calls[at + 1].args[0], gens[i]);
    EXPECT_FLOAT_EQ(planes[i].args[2], t[i]);
    EXPECT_FLOAT_EQ(planes[i].args[5], t[12 + i]);
  }
  GLint compare, func;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, &compare);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, &func);
  EXPECT_EQ(compare, GL_COMPARE_R_TO_TEXTURE_ARB);
  EXPECT_EQ(func, GL_LEQUAL);
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_NO_GL_ERROR();
  for (GLenum g : gens) glDisable(g);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_TEXTURE_2D);
}

TEST_F(Shadow, ShadowedNodeDrawsItsChildrenThreeTimesAndCleansUp) {
  lookAndLight(makeVector(0, 3, 6), makeVector(0, 5, 2));
  VorbelScenegraph::cRootNode root;
  CountingNode child;
  static const char kChild[] = "child";
  root.addChild(kChild, &child);
  root.shadowed = 1;
  gluLookAt(0, 3, 6, 0, 0, 0, 0, 1, 0);
  root.render(0.5f);
  EXPECT_EQ(child.renders, 3);
  for (GLenum g : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q, GL_ALPHA_TEST})
    EXPECT_FALSE(glIsEnabled(g));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(root.shadow.cameraPosition.z, 6.0f);
  EXPECT_EQ(root.shadow.lightPosition.y, 5.0f);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "shadowed_cube");
  EXPECT_GT(litPixels(picture, 384, 256, 640, 512), 1000);  // the lit cube
  GLuint texture = root.shadow.depthTexture;
  root.render(0.5f);
  EXPECT_EQ(root.shadow.depthTexture, texture);
  EXPECT_EQ(child.renders, 6);
  EXPECT_NO_GL_ERROR();
}

namespace {
// A box: the unit cube scaled to half extents (sx, sy, sz) and moved to (x, y, z).
class BoxNode : public VorbelScenegraph::baseNode {
 public:
  BoxNode(float x, float y, float z, float sx, float sy, float sz) : x_(x), y_(y), z_(z), sx_(sx), sy_(sy), sz_(sz) {}
  void render(float) override {
    glPushMatrix();
    glTranslatef(x_, y_, z_);
    glScalef(sx_, sy_, sz_);
    getRenderer()->drawCube();
    glPopMatrix();
  }

 private:
  float x_, y_, z_, sx_, sy_, sz_;
};

// A single horizontal square at height y, half size 0.5, facing down (counter-clockwise seen from
// below) or up.
class SquareNode : public VorbelScenegraph::baseNode {
 public:
  SquareNode(float y, bool down) : y_(y), down_(down) {}
  void render(float) override {
    const float z0 = down_ ? -0.5f : 0.5f, z1 = -z0;
    glBegin(GL_QUADS);
    glNormal3f(0, down_ ? -1.0f : 1.0f, 0);
    glVertex3f(-0.5f, y_, z0);
    glVertex3f(0.5f, y_, z0);
    glVertex3f(0.5f, y_, z1);
    glVertex3f(-0.5f, y_, z1);
    glEnd();
  }

 private:
  float y_;
  bool down_;
};

// Mean red of the 5 × 5 pixels around where the camera pass puts the point (x, y, z).
double brightnessAt(const Image &picture, const cShadowMapState &s, double x, double y, double z) {
  GLdouble model[16], projection[16], wx, wy, wz;
  for (int i = 0; i < 16; ++i) {
    model[i] = s.cameraView[i];
    projection[i] = s.cameraProjection[i];
  }
  const GLint viewport[4] = {0, 0, GLTest::kWidth, GLTest::kHeight};
  gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz);
  int cx = static_cast<int>(wx), cy = picture.height - 1 - static_cast<int>(wy);
  double sum = 0;
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx) sum += picture.at(cx + dx, cy + dy)[0];
  return sum / 25;
}
}  // namespace

TEST_F(Shadow, AnOccluderDarkensTheFloorWhereTheLightCannotReach) {
  lookAndLight(makeVector(0, 4, 5), makeVector(0, 5, 1));
  VorbelScenegraph::cRootNode root;
  BoxNode floor(0, -1, 0, 2.4f, 0.05f, 2.4f), block(0, 1, 0, 0.5f, 0.5f, 0.5f);
  static const char kFloor[] = "floor", kBlock[] = "block";
  root.addChild(kFloor, &floor);
  root.addChild(kBlock, &block);
  root.shadowed = 1;
  glColor3f(1, 1, 1);
  root.render(0);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "shadow_occluder");
  // From the light at (0, 5, 1) past the block's edges to the floor's top (y = −0.95): the bottom
  // front edge (z = 0.5, y = 0.5) lands at z = 1 − 0.5 × 5.95 / 4.5 = 0.339, the top back edge at
  // z = 1 − 1.5 × 5.95 / 3.5 = −1.55. The camera sees the shadow's front part, beside it lit floor.
  double shadowed = brightnessAt(picture, root.shadow, 0, -0.95, 0.1);
  double lit = brightnessAt(picture, root.shadow, 1.6, -0.95, 1.2);
  double litFar = brightnessAt(picture, root.shadow, -1.6, -0.95, -1.6);
  EXPECT_LT(shadowed, 20) << "the floor under the block is lit";
  EXPECT_GT(lit, 100) << "the floor beside the block is dark";
  EXPECT_GT(litFar, 100) << "the floor behind the shadow is dark";
  EXPECT_NO_GL_ERROR();

  // Only faces turned away from the light go into the depth map: a square at y = 1 that shows the
  // light its back shadows the floor (from z = 0.256 to −1.23 under it); one that shows the light
  // its front casts nothing.
  for (bool down : {true, false}) {
    VorbelScenegraph::cRootNode scene;
    BoxNode ground(0, -1, 0, 2.4f, 0.05f, 2.4f);
    SquareNode square(1, down);
    scene.addChild(kFloor, &ground);
    scene.addChild(kBlock, &square);
    scene.shadowed = 1;
    GLTest::resetView();
    glColor3f(1, 1, 1);
    scene.render(0);
    Image shot = GLTest::grab();
    double under = brightnessAt(shot, scene.shadow, 0, -0.95, 0);
    if (down)
      EXPECT_LT(under, 20) << "a square turning its back to the light casts no shadow";
    else
      EXPECT_GT(under, 100) << "a square facing the light casts a shadow";
  }
  EXPECT_NO_GL_ERROR();
}

TEST_F(Shadow, UnshadowedEmptyRootChangesNothing) {
  VorbelScenegraph::cRootNode root;
  Recorder::start();
  root.render(0.3f);
  EXPECT_TRUE(Recorder::stop().empty());
}
