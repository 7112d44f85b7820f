// Each effect node on the real driver: the geometry it sends (counted on the recording layer) and
// the picture it leaves under a fixed camera.
#include <GL/gl.h>

#include <cmath>
#include <GL/glu.h>

#include "renderer/renderer.h"
#include "renderer/texture.h"
#include "scenegraph/cubefield.h"
#include "scenegraph/cubething.h"
#include "scenegraph/morph.h"
#include "scenegraph/tower.h"
#include "scenegraph/water.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/logging_material.h"
#include "tests/support/gl_test.h"

using namespace kandu;

using namespace VorbelScenegraph;
using Recorder::count;
using Recorder::named;

namespace {
// Splits a recording into glBegin .. glEnd batches: (mode, vertex count).
std::vector<std::pair<int, int>> batches(const std::vector<GLCall> &calls) {
  std::vector<std::pair<int, int>> out;
  for (const GLCall &c : calls) {
    if (c.name == "glBegin") out.push_back({static_cast<int>(c.args[0]), 0});
    if (c.name == "glVertex3f" && !out.empty()) ++out.back().second;
  }
  return out;
}

void lookFrom(double x, double y, double z) {
  GLTest::resetView();
  gluLookAt(x, y, z, 0, 0, 0, 0, 1, 0);
}

class MarkerNode : public baseNode {
 public:
  explicit MarkerNode(std::string *log) : log_(log) {}
  void render(float) override { *log_ += "child"; }

 private:
  std::string *log_;
};

const char kNode[] = "node";
}  // namespace

TEST(CubeThing, SevenCubesInTheCrossOrder) {
  cNodeCubeThing node;
  Recorder::start();
  node.render(0.5f);
  auto calls = Recorder::stop();
  auto b = batches(calls);
  ASSERT_EQ(b.size(), 7u);
  for (auto &batch : b) EXPECT_EQ(batch, std::make_pair(int(GL_QUADS), 24));
  auto moves = named(calls, "glTranslatef");
  ASSERT_EQ(moves.size(), 7u);  // the node's position, then the six arms
  const float arms[6][3] = {{0, 2, 0}, {0, -2, 0}, {2, 0, 0}, {-2, 0, 0}, {0, 0, 2}, {0, 0, -2}};
  for (int i = 0; i < 6; ++i)
    for (int a = 0; a < 3; ++a) EXPECT_EQ(moves[i + 1].args[a], arms[i][a]);
}

TEST(CubeThing, CoversTheCentreAndLeavesTheCornersClear) {
  lookFrom(0, 0, -10);
  cNodeCubeThing node;
  int depth = GLTest::modelviewDepth();
  glColor3f(1, 1, 1);
  getRenderer()->enable(STATE_CULL);
  node.render(0);
  getRenderer()->disable(STATE_CULL);
  EXPECT_EQ(GLTest::modelviewDepth(), depth);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "cube_thing_node");
  EXPECT_GT(picture.at(512, 384)[0], 200);
  EXPECT_GT(picture.at(512, 384 - 150)[0], 200);  // the upper arm
  EXPECT_EQ(picture.at(512 - 150, 384 - 150)[0], 0);  // between the arms
  EXPECT_EQ(litPixels(picture, 0, 0, 100, 100), 0);
  EXPECT_NO_GL_ERROR();
}

TEST(CubeThing, ZeroAxisDrawsUnrotatedAndChildrenFollowTheMaterials) {
  // What the driver does with glRotatef(angle, 0, 0, 0): the matrix must stay as it was.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(45, 0, 0, 0);
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  glLoadIdentity();
  EXPECT_EQ(m[0], 1.0f);
  EXPECT_EQ(m[1], 0.0f);
  EXPECT_EQ(m[5], 1.0f);

  std::string log;
  cNodeCubeThing node;
  LoggingMaterial a(&log, 'a'), b(&log, 'b');
  MarkerNode child(&log);
  node.getMaterials().append(&a);
  node.getMaterials().append(&b);
  node.addChild(kNode, &child);
  node.setRotation(30, 0, 0, 0);
  Recorder::start();
  node.render(0);
  auto calls = Recorder::stop();
  EXPECT_EQ(log, "+a+bchild-a-b");
  for (const GLCall &rotation : named(calls, "glRotatef")) EXPECT_NE(rotation.args[1] + rotation.args[2] + rotation.args[3], 0);
}

TEST(Towers, SevenHundredFiftyBarsOfTwentyVerticesNoBottom) {
  cTowerFieldNode node;
  static const char kChild[] = "child";
  std::string log;
  MarkerNode child(&log);
  node.addChild(kChild, &child);
  Recorder::start();
  node.render(0.25f);
  auto calls = Recorder::stop();
  auto b = batches(calls);
  ASSERT_EQ(b.size(), 750u);
  for (auto &batch : b) ASSERT_EQ(batch, std::make_pair(int(GL_QUADS), 20));
  EXPECT_EQ(log, "");  // a tower field draws no children
  for (const GLCall &n : named(calls, "glNormal3f")) EXPECT_NE(n.args[1], -1.0);
  // Bar (i, j) stands at (i, 0, j), sin(i) + 2 cos(100 (j + t + i)) + 3 high, centred on y = 0:
  // bar (0, 0) tops out at cos(25) + 1.5, bar (0, 1) (the second one drawn) at cos(125) + 1.5.
  auto vertices = named(calls, "glVertex3f");
  EXPECT_NEAR(vertices[0].args[1], std::cos(25.0) + 1.5, 1e-5);
  EXPECT_FLOAT_EQ(vertices[0].args[0], 0.25f);
  EXPECT_NEAR(vertices[20].args[1], std::cos(125.0) + 1.5, 1e-5);
  EXPECT_FLOAT_EQ(vertices[20].args[2], 1.0f - 0.25f);
  // Bar (1, 0), the 26th: sin(1) / 2 + cos(125) + 1.5.
  EXPECT_NEAR(vertices[25 * 20].args[1], std::sin(1.0) / 2 + std::cos(125.0) + 1.5, 1e-5);
  EXPECT_EQ(count(calls, "glPushMatrix"), 751);
}

TEST(Towers, EachBarFaceHasItsNormalCornersAndTextureCoordinates) {
  Recorder::start();
  drawTowerBar(0.5f, 4.0f, 0.5f, 2.0f, 0.0f, 3.0f);
  auto calls = Recorder::stop();
  // Per face: the normal, then (s, t) and the corner as signs of the half extents (0.25, 2, 0.25).
  struct Face {
    float n[3];
    float c[4][5];
  } faces[5] = {
      {{0, 1, 0}, {{1, 0, 1, 1, -1}, {0, 0, -1, 1, -1}, {0, 1, -1, 1, 1}, {1, 1, 1, 1, 1}}},
      {{0, 0, 1}, {{0, 1, -1, -1, 1}, {1, 1, 1, -1, 1}, {1, 0, 1, 1, 1}, {0, 0, -1, 1, 1}}},
      {{0, 0, -1}, {{0, 1, 1, -1, -1}, {1, 1, -1, -1, -1}, {1, 0, -1, 1, -1}, {0, 0, 1, 1, -1}}},
      {{1, 0, 0}, {{1, 1, 1, -1, -1}, {1, 0, 1, 1, -1}, {0, 0, 1, 1, 1}, {0, 1, 1, -1, 1}}},
      {{-1, 0, 0}, {{0, 1, -1, -1, -1}, {1, 1, -1, -1, 1}, {1, 0, -1, 1, 1}, {0, 0, -1, 1, -1}}},
  };
  auto normals = named(calls, "glNormal3f");
  auto tex = named(calls, "glTexCoord2f");
  auto v = named(calls, "glVertex3f");
  ASSERT_EQ(normals.size(), 5u);
  ASSERT_EQ(v.size(), 20u);
  for (int f = 0; f < 5; ++f) {
    for (int a = 0; a < 3; ++a) EXPECT_EQ(normals[f].args[a], faces[f].n[a]) << "face " << f;
    for (int k = 0; k < 4; ++k) {
      const float *c = faces[f].c[k];
      int i = 4 * f + k;
      EXPECT_EQ(tex[i].args[0], c[0]) << "face " << f << " corner " << k;
      EXPECT_EQ(tex[i].args[1], c[1]) << "face " << f << " corner " << k;
      EXPECT_EQ(v[i].args[0], 2.0 + 0.25 * c[2]) << "face " << f << " corner " << k;
      EXPECT_EQ(v[i].args[1], 2.0 * c[3]) << "face " << f << " corner " << k;
      EXPECT_EQ(v[i].args[2], 3.0 + 0.25 * c[4]) << "face " << f << " corner " << k;
    }
  }
}

TEST(Towers, FieldFillsTheViewFromAbove) {
  lookFrom(0, 60, 1);
  cTowerFieldNode node;
  node.setPosition(-15, 0, -12);
  glColor3f(1, 1, 1);
  int depth = GLTest::modelviewDepth();
  node.render(0);
  EXPECT_EQ(GLTest::modelviewDepth(), depth);
  EXPECT_EQ(getRenderer()->primitiveType, PRIM_QUADS);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "towers_node");
  EXPECT_GT(litPixels(picture, 412, 284, 612, 484), 10000);
  EXPECT_EQ(litPixels(picture, 0, 0, 60, 768), 0);  // the field ends before the left edge
  EXPECT_NO_GL_ERROR();
}

TEST(Water, SixtyFourStripsOf130WithTexCoordsTo64Over65) {
  cWaterMirrorNode node;
  Recorder::start();
  node.render(0);
  auto calls = Recorder::stop();
  auto b = batches(calls);
  ASSERT_EQ(b.size(), 64u);
  for (auto &batch : b) ASSERT_EQ(batch, std::make_pair(int(GL_QUAD_STRIP), 130));
  double maxS = 0, maxT = 0;
  for (const GLCall &t : named(calls, "glTexCoord2f")) maxS = std::max(maxS, t.args[0]), maxT = std::max(maxT, t.args[1]);
  EXPECT_FLOAT_EQ(maxS, 64.0f / 65.0f);
  EXPECT_FLOAT_EQ(maxT, 64.0f / 65.0f);
  EXPECT_EQ(getRenderer()->primitiveType, PRIM_QUADS);
}

TEST(Water, FlatSurfaceNormalsAndColour) {
  cWaterMirrorNode node;
  for (int k = 0; k < 65 * 65; ++k) node.heights[k] = node.velocities[k] = 0;
  node.color = makeColor(0.25f, 0.5f, 0.75f, 1);
  lookFrom(0, 10, -3);
  int depth = GLTest::modelviewDepth();
  node.render(0);
  EXPECT_EQ(GLTest::modelviewDepth(), depth);
  for (int j = 0; j < 65; ++j)
    for (int i = 0; i < 65; ++i) {
      EXPECT_EQ(node.vertices[node.index(i, j)].y, 0.0f);
      bool inner = i >= 1 && i <= 63 && j >= 1 && j <= 63;
      EXPECT_EQ(node.normals[node.index(i, j)].y, inner ? -1.0f : 1.0f);
    }
  EXPECT_FLOAT_EQ(node.vertices[0].x, -2.5f);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[2], 0.75f);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "water_node");
  EXPECT_GT(picture.at(512, 384)[2], 150);  // the tinted surface fills the middle
  EXPECT_NO_GL_ERROR();
}

TEST(Water, SlopedSurfaceGivesItsVerticesAndNormals) {
  cWaterMirrorNode node;
  for (int k = 0; k < 65 * 65; ++k) node.velocities[k] = 0;
  for (int j = 0; j < 65; ++j)
    for (int i = 0; i < 65; ++i) node.heights[node.index(i, j)] = 100.0f * i;
  lookFrom(0, 10, -3);
  node.render(0);
  // One step first: on a plane the stencil gives v = (h − 20 h / 25) / 7, so an inner height
  // becomes h (1 − 0.4 × 0.2 / 7); then x = 5 (i − 32.5) / 65, y = 3 h / (1024 × 65),
  // z = 5 (j − 32.5) / 65, and the normal is (h(i + 1) − h(i − 1), −2048, 0) made unit length.
  const double shrink = 1.0 - 0.4 * 0.2 / 7;
  const cVector3 v = node.vertices[node.index(10, 20)];
  EXPECT_FLOAT_EQ(v.x, static_cast<float>(5.0 * (10 - 32.5) / 65));
  EXPECT_NEAR(v.y, 3.0 * 1000.0 * shrink / (1024.0 * 65), 1e-6);
  EXPECT_FLOAT_EQ(v.z, static_cast<float>(5.0 * (20 - 32.5) / 65));
  const double nx = 200.0 * shrink, length = std::sqrt(nx * nx + 2048.0 * 2048.0);
  const cVector3 n = node.normals[node.index(10, 20)];
  EXPECT_NEAR(n.x, nx / length, 1e-5);
  EXPECT_NEAR(n.y, -2048.0 / length, 1e-5);
  EXPECT_EQ(n.z, 0.0f);
  // Row 1 is outside the simulated band but inside the normals' one: its neighbours in i kept their
  // heights (nx = 200), while in j row 2 moved and row 0 did not (nz = 1000 (shrink − 1)).
  const double ex = 200.0, ez = 1000.0 * (shrink - 1), edgeLength = std::sqrt(ex * ex + 2048.0 * 2048.0 + ez * ez);
  const cVector3 edge = node.normals[node.index(10, 1)];
  EXPECT_NEAR(edge.x, ex / edgeLength, 1e-5);
  EXPECT_NEAR(edge.z, ez / edgeLength, 1e-5);
  EXPECT_NO_GL_ERROR();
}

TEST(Morph, OneBatchOf1008QuadsClosedAroundTheTube) {
  cMorphObject node;
  Recorder::start();
  node.render(0);
  auto calls = Recorder::stop();
  auto b = batches(calls);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0], std::make_pair(int(GL_QUADS), 1008 * 4));
  EXPECT_EQ(count(calls, "glNormal3f"), 0);
  auto v = named(calls, "glVertex3f");
  auto t = named(calls, "glTexCoord2f");
  // Ring 0, corner 0 of the first quad: radius 0.56 on the x axis.
  EXPECT_FLOAT_EQ(v[0].args[0], 0.56f);
  EXPECT_FLOAT_EQ(v[0].args[1], 0.0f);
  // The last quad of the first band ends on corner 16, which is corner 0 again with s + 4.
  size_t last = 15 * 4 + 2;
  EXPECT_NEAR(v[last].args[0], v[1].args[0], 1e-6);
  EXPECT_NEAR(v[last].args[2], v[1].args[2], 1e-6);
  EXPECT_FLOAT_EQ(t[last].args[0], t[1].args[0] + 4.0f);
  EXPECT_FLOAT_EQ(v[1].args[1], 5.5f / 64);  // ring spacing
  // Ring 0 has no texture offset at time 0: its s is 4 × m / 16 in whole numbers, 0 0 0 0 1 1 ...
  for (int m = 0; m < 16; ++m) EXPECT_EQ(t[4 * m].args[0], (4 * m) / 16) << "corner " << m;
  // Quad 15 closes the band on corner 16: s = 4 on ring 0, one more than corner 15 on ring 1.
  EXPECT_EQ(t[4 * 15 + 3].args[0], 4.0);
  EXPECT_NEAR(t[4 * 15 + 2].args[0] - t[4 * 15 + 1].args[0], 1.0, 1e-6);
}

TEST(Morph, NotReadyDrawsNothingNotEvenChildren) {
  cMorphObject node;
  std::string log;
  MarkerNode child(&log);
  node.addChild(kNode, &child);
  node.ready = 0;
  Recorder::start();
  node.render(0.5f);
  EXPECT_TRUE(Recorder::stop().empty());
  EXPECT_EQ(log, "");
  node.ready = 1;
  node.setPosition(100, 100, 100);  // position and rotation do not move the tube
  node.setRotation(90, 1, 0, 0);
  Recorder::start();
  node.render(0.5f);
  auto calls = Recorder::stop();
  EXPECT_EQ(count(calls, "glTranslatef"), 0);
  EXPECT_EQ(count(calls, "glRotatef"), 0);
  EXPECT_EQ(log, "child");
}

TEST(Morph, TubeStandsWhereTheEffectPutsIt) {
  lookFrom(0, 0, -10);
  glTranslatef(-2, -2.5f, -4);
  cMorphObject node;
  glColor3f(1, 1, 1);
  node.render(0);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "morph_node");
  EXPECT_GT(litPixels(picture), 20000);
  EXPECT_EQ(litPixels(picture, 0, 0, 400, 768), 0);  // the camera looks from behind: x is mirrored
  EXPECT_NO_GL_ERROR();
}

TEST(CubeField, ThreeHundredCubesAndAHundredLinks) {
  GLTest::setClock(1000);
  cCubeFieldNode *node = newCubeFieldNode();
  Recorder::start();
  node->render(1.0f);
  auto calls = Recorder::stop();
  auto b = batches(calls);
  int cubes = 0, links = 0;
  for (auto &batch : b) {
    if (batch == std::make_pair(int(GL_QUADS), 24)) ++cubes;
    if (batch == std::make_pair(int(GL_LINE_STRIP), 2)) ++links;
  }
  EXPECT_EQ(cubes, 300);
  EXPECT_EQ(links, 100);
  EXPECT_EQ(b.size(), 400u);
  EXPECT_EQ(count(calls, "glLineWidth"), 400 + 1 + 1);  // four per cube, plus wireframe on and off
  // Cube 99 at t = 1: -1485° about (1, 1, 0) and its inner cube 990° about (1, 1, 1).
  auto turns = named(calls, "glRotatef");
  ASSERT_EQ(turns.size(), 200u);
  EXPECT_EQ(turns[198].args[0], -1485.0);
  EXPECT_EQ(turns[199].args[0], 990.0);
  // Every inner cube is a half-size one.
  auto scales = named(calls, "glScalef");
  ASSERT_EQ(scales.size(), 100u);
  for (const GLCall &c : scales) EXPECT_EQ(c.args, (std::vector<double>{0.5, 0.5, 0.5}));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint mode[2];
  glGetIntegerv(GL_POLYGON_MODE, mode);
  EXPECT_EQ(mode[0], GL_FILL);
  EXPECT_EQ(getRenderer()->primitiveType, PRIM_QUADS);
  EXPECT_NO_GL_ERROR();
}

TEST(CubeField, DistortionDecaysInDrivenMilliseconds) {
  GLTest::setClock(5000);
  cCubeFieldNode *node = newCubeFieldNode();
  node->render(0);  // the first render of the process starts the clock
  node->distortion = 40.0f;
  GLTest::setClock(5050);
  Recorder::start();
  node->render(0);
  auto calls = Recorder::stop();
  EXPECT_FLOAT_EQ(node->distortion, 20.0f);
  // Shuddering: cube 0 sits at its rest position moved by (cos(200), 0, 2 sin(200)).
  auto moves = named(calls, "glTranslatef");
  EXPECT_FLOAT_EQ(moves[0].args[0], 25.0f + static_cast<float>(std::cos(200.0f)));
  EXPECT_FLOAT_EQ(moves[0].args[2], static_cast<float>(2.0 * std::sin(200.0f)));
  GLTest::setClock(5150);
  node->render(0);
  EXPECT_LT(node->distortion, 0.0f);  // used below zero for this render
  GLTest::setClock(5160);
  Recorder::start();
  node->render(0);
  calls = Recorder::stop();
  EXPECT_EQ(node->distortion, 0.0f);
  moves = named(calls, "glTranslatef");
  EXPECT_EQ(moves[0].args[0], 25.0f);  // at rest again
  EXPECT_EQ(moves[0].args[2], 0.0f);
}

TEST(CubeField, CloudIsVisibleFromTheFieldCamera) {
  GLTest::setClock(0);
  lookFrom(0, 0, -30);
  cCubeFieldNode *node = newCubeFieldNode();
  node->render(0.5f);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "cube_field_node");
  int lit = litPixels(picture);
  EXPECT_GT(lit, 5000);
  EXPECT_LT(lit, 1024 * 768 / 2);  // wireframe, not filled
  EXPECT_NO_GL_ERROR();
}
