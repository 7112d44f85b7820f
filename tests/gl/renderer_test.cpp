// The renderer object on the real driver: state switches, blending, the overlay, primitives, the
// cube and the bitmap fonts.
#include <GL/gl.h>
#include <GL/glu.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>

#include "renderer/renderer.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/gl_test.h"

using namespace kandu;

using Recorder::count;

namespace {
// One unit a pixel, origin at the bottom left: where glRasterPos2i puts a glyph.
void useWindowCoordinates() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, GLTest::kWidth, 0, GLTest::kHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// How far the glyph list of character c moves the raster position.
float rasterAdvance(GLuint listBase, char c) {
  useWindowCoordinates();
  glRasterPos2i(100, 100);
  glCallList(listBase + static_cast<GLuint>(c - 32));
  GLfloat position[4];
  glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
  return position[0] - 100.0f;
}
}  // namespace
using Recorder::named;
using Recorder::names;

TEST(Renderer, TheRendererHasTwoArialGlyphSetsBuiltOnce) {
  cRenderer *r = getRenderer();
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->defaultFont.faceName, "Arial");
  EXPECT_EQ(r->defaultFont.height, 24);
  EXPECT_EQ(r->defaultFont.created, 1);
  // 'A' is built into list base + 33 in both sets.
  EXPECT_TRUE(glIsList(r->defaultFont.listBase + 'A' - 32));
  EXPECT_TRUE(glIsList(r->defaultFont.secondListBase + 'A' - 32));
  Recorder::start();
  EXPECT_EQ(getRenderer(), r);
  EXPECT_TRUE(Recorder::stop().empty());
  // What the first use did: two blocks of 96 lists for the same face.
  cFont fresh;
  Recorder::start();
  fresh.create("Arial", 24, 0, 0);
  auto calls = Recorder::stop();
  ASSERT_EQ(count(calls, "glGenLists"), 2);
  EXPECT_EQ(named(calls, "glGenLists")[0].args[0], 96);
  EXPECT_EQ(named(calls, "glGenLists")[1].args[0], 96);
  EXPECT_NO_GL_ERROR();
}

TEST(Renderer, GlyphListsDrawText) {
  GLTest::resetView();
  cFont *font = newFont("big_italic", 28, 1, 1);
  EXPECT_STREQ(font->faceName, "Verdana");
  Recorder::start();
  font->create("Verdana", 28, 1, 1);
  EXPECT_TRUE(Recorder::stop().empty());  // already created: no call at all
  useWindowCoordinates();
  glColor3f(1, 1, 1);
  glRasterPos2i(100, 100);
  glListBase(font->listBase - 32);
  const char text[] = "Kandu";
  glCallLists(5, GL_UNSIGNED_BYTE, text);
  Image picture = GLTest::grab();
  GLTest::keep(picture, "font");
  EXPECT_GT(litPixels(picture, 90, 630, 260, 690), 100);
  EXPECT_EQ(litPixels(picture, 400, 0, 1024, 400), 0);
  EXPECT_NO_GL_ERROR();
}

namespace {
struct Box {
  int left = 1 << 30, right = -1, bottom = 1 << 30, top = -1;  // GL window coordinates, y up
};
// Draws the glyph of c with the raster position at (x, y) and returns where its pixels landed.
Box glyphBox(GLuint listBase, char c, int x, int y) {
  GLTest::resetView();
  useWindowCoordinates();
  glColor3f(1, 1, 1);
  glRasterPos2i(x, y);
  glCallList(listBase + static_cast<GLuint>(c - 32));
  Image picture = GLTest::grab();
  Box box;
  for (int row = 0; row < picture.height; ++row)
    for (int col = 0; col < picture.width; ++col)
      if (picture.at(col, row)[0] > 128) {
        int glY = picture.height - 1 - row;
        box.left = std::min(box.left, col);
        box.right = std::max(box.right, col);
        box.bottom = std::min(box.bottom, glY);
        box.top = std::max(box.top, glY);
      }
  return box;
}
}  // namespace

TEST(Renderer, GlyphsSitOnTheBaselineRightOfTheRasterPosition) {
  cFont font;
  font.create("Verdana", 28, 0, 0);
  // 'I' stands on the baseline with a small left bearing; 'g' hangs below the baseline.
  Box i = glyphBox(font.listBase, 'I', 200, 300);
  ASSERT_GE(i.right, 0) << "no glyph drawn";
  EXPECT_EQ(i.bottom, 300);
  EXPECT_GT(i.left, 200);
  EXPECT_LT(i.left, 210);
  EXPECT_GT(i.top, 310);
  Box g = glyphBox(font.listBase, 'g', 200, 300);
  EXPECT_LT(g.bottom, 297);
  EXPECT_GT(g.top, 300);
  EXPECT_GE(g.left, 200);
  EXPECT_NO_GL_ERROR();
}

TEST(Renderer, WithoutAnyInstalledFontTheListsStayEmptyAndTheFontIsCreated) {
  setenv("FONTCONFIG_FILE", KANDU_TEST_SUPPORT_DIR "/no-fonts.conf", 1);
  FcInitReinitialize();
  cFont font;
  font.create("Verdana", 20, 0, 0);
  unsetenv("FONTCONFIG_FILE");
  FcInitReinitialize();
  EXPECT_EQ(font.created, 1);
  EXPECT_NE(font.listBase, 0u);
  EXPECT_EQ(rasterAdvance(font.listBase, 'W'), 0.0f);  // the list names exist, but hold no glyph
  cFont installed;
  installed.create("Verdana", 20, 0, 0);
  EXPECT_GT(rasterAdvance(installed.listBase, 'W'), 5.0f);
  EXPECT_NO_GL_ERROR();
}

TEST(Renderer, FontThatWasNeverCreatedDeletesNothing) {
  Recorder::start();
  { cFont unused; }
  EXPECT_TRUE(Recorder::stop().empty());
  Recorder::start();
  {
    cFont built;
    built.create("Arial", 12, 0, 0);
  }
  auto calls = Recorder::stop();
  EXPECT_EQ(count(calls, "glDeleteLists"), 2);
}

TEST(Renderer, StatesSwitchTheirGLState) {
  cRenderer *r = getRenderer();
  r->enable(STATE_TEXTURE);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  r->disable(STATE_TEXTURE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  r->enable(STATE_CULL);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  r->disable(STATE_CULL);
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  r->enable(STATE_WIREFRAME);
  GLint modes[2];
  GLfloat width;
  glGetIntegerv(GL_POLYGON_MODE, modes);
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(modes[0], GL_LINE);
  EXPECT_EQ(modes[1], GL_LINE);
  EXPECT_EQ(width, 6.0f);
  r->disable(STATE_WIREFRAME);
  glGetIntegerv(GL_POLYGON_MODE, modes);
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(modes[0], GL_FILL);
  EXPECT_EQ(width, 1.0f);
  Recorder::start();
  for (int s : {1, 2, 7, -3}) {
    r->enable(s);
    r->disable(s);
  }
  EXPECT_TRUE(Recorder::stop().empty());
  EXPECT_NO_GL_ERROR();
}

TEST(Renderer, BlendModesSelectTheirFactorsAndEnableBlending) {
  cRenderer *r = getRenderer();
  struct Case {
    int mode;
    GLint src, dst;
  } cases[] = {{BLEND_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
               {BLEND_ADD_COLOR, GL_SRC_COLOR, GL_ONE},
               {BLEND_ADD_ALPHA, GL_SRC_ALPHA, GL_ONE},
               {3, GL_SRC_COLOR, GL_ONE}};
  for (const Case &c : cases) {
    r->disableBlend();
    r->setBlendMode(c.mode);
    GLint src, dst;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(src, c.src) << c.mode;
    EXPECT_EQ(dst, c.dst) << c.mode;
  }
  r->disableBlend();
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_NO_GL_ERROR();
}

// Which of S and T is set first changes nothing GL shows: the state afterwards is the point.
TEST(Renderer, ResetTexGenPutsSAndTBackToEyeLinearAndTouchesNothingElse) {
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_GEN_R);
  getRenderer()->resetTexGen();
  for (GLenum coord : {GL_S, GL_T}) {
    GLint mode = 0;
    glGetTexGeniv(coord, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_EYE_LINEAR) << coord;
  }
  GLint rMode = 0;
  glGetTexGeniv(GL_R, GL_TEXTURE_GEN_MODE, &rMode);
  EXPECT_EQ(rMode, GL_OBJECT_LINEAR);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_R));
  glDisable(GL_TEXTURE_GEN_R);
  glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
  EXPECT_NO_GL_ERROR();
}

TEST(Overlay, MapsA1024By768ScreenWithYDown) {
  GLTest::resetView();
  glViewport(0, 0, GLTest::kWidth, GLTest::kHeight);
  cRenderer *r = getRenderer();
  r->enable(STATE_ORTHO);
  glColor3f(1, 1, 1);
  glPointSize(1);
  glBegin(GL_POINTS);
  glVertex2f(0.5f, 0.5f);
  glVertex2f(1023.5f, 767.5f);
  glEnd();
  r->enable(STATE_PERSPECTIVE);
  Image picture = GLTest::grab();
  EXPECT_GT(picture.at(0, 0)[0], 200);        // top-left of the screen
  EXPECT_GT(picture.at(1023, 767)[0], 200);   // bottom-right
  EXPECT_EQ(litPixels(picture), 2);
  EXPECT_NO_GL_ERROR();
}

TEST(Overlay, Quad2DCornersAndRestoredState) {
  GLTest::resetView();
  cRenderer *r = getRenderer();
  glDepthMask(GL_FALSE);
  GLfloat projectionBefore[16], projectionAfter[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
  int depthBefore = GLTest::modelviewDepth();
  Recorder::start();
  glColor3f(1, 1, 1);
  r->drawQuad2D(10.7f, 20.2f, 100.5f, 50.9f);
  auto calls = Recorder::stop();
  auto corners = named(calls, "glVertex2i");
  auto tex = named(calls, "glTexCoord2f");
  ASSERT_EQ(corners.size(), 4u);
  const double expectCorners[4][2] = {{10, 20}, {111, 20}, {111, 71}, {10, 71}};
  const double expectTex[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(corners[i].args[0], expectCorners[i][0]);
    EXPECT_EQ(corners[i].args[1], expectCorners[i][1]);
    EXPECT_EQ(tex[i].args[0], expectTex[i][0]);
    EXPECT_EQ(tex[i].args[1], expectTex[i][1]);
  }
  glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(projectionBefore[i], projectionAfter[i]);
  EXPECT_EQ(GLTest::modelviewDepth(), depthBefore);
  GLint mode, depthMask;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetIntegerv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_EQ(depthMask, GL_TRUE);
  Image picture = GLTest::grab();
  EXPECT_GT(picture.at(50, 40)[0], 200);
  EXPECT_EQ(picture.at(5, 40)[0], 0);
  EXPECT_NO_GL_ERROR();
}

TEST(Primitives, BeginOpensTheModeOfThePrimitiveType) {
  cRenderer *r = getRenderer();
  struct Case {
    int type;
    GLenum mode;
  } cases[] = {{PRIM_TRIANGLES, GL_TRIANGLES}, {PRIM_POINTS, GL_POINTS}, {PRIM_QUADS, GL_QUADS},
               {PRIM_QUAD_STRIP, GL_QUAD_STRIP}, {PRIM_LINES, GL_LINES}, {PRIM_LINE_STRIP, GL_LINE_STRIP}};
  for (const Case &c : cases) {
    r->primitiveType = c.type;
    Recorder::start();
    r->begin();
    r->vertex(0, 0, 0);
    r->end();
    auto calls = Recorder::stop();
    ASSERT_EQ(names(calls), (std::vector<std::string>{"glBegin", "glVertex3f", "glEnd", "glPointSize"}));
    EXPECT_EQ(calls[0].args[0], c.mode);
    EXPECT_EQ(calls[3].args[0], 1.0);
  }
  for (int bad : {6, -1}) {
    r->primitiveType = bad;
    Recorder::start();
    r->begin();
    EXPECT_TRUE(Recorder::stop().empty());
  }
  r->primitiveType = PRIM_QUADS;
  EXPECT_NO_GL_ERROR();
}

TEST(Primitives, LineWidthLeavesDepthTestingOn) {
  cRenderer *r = getRenderer();
  glDisable(GL_DEPTH_TEST);
  Recorder::start();
  r->setLineWidth(4);
  auto calls = Recorder::stop();
  EXPECT_EQ(names(calls), (std::vector<std::string>{"glDisable", "glLineWidth", "glEnable"}));
  GLfloat width;
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 4.0f);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  r->setLineWidth(1);
  EXPECT_NO_GL_ERROR();
}

TEST(Primitives, CubeSendsSixOutwardFacesInOneBatch) {
  cRenderer *r = getRenderer();
  Recorder::start();
  r->drawCube();
  auto calls = Recorder::stop();
  EXPECT_EQ(count(calls, "glBegin"), 1);
  EXPECT_EQ(count(calls, "glNormal3f"), 6);
  EXPECT_EQ(count(calls, "glTexCoord2f"), 24);
  EXPECT_EQ(count(calls, "glVertex3f"), 24);
  ASSERT_EQ(calls.size(), 1u + 6 * 9 + 1);
  // Each face: its normal, then four (texcoord, vertex) pairs; every vertex lies on the face the
  // normal points out of, and the corners run counter-clockwise seen from outside.
  for (int f = 0; f < 6; ++f) {
    const GLCall &n = calls[1 + 9 * f];
    ASSERT_EQ(n.name, "glNormal3f");
    double corner[4][3];
    for (int k = 0; k < 4; ++k) {
      const GLCall &t = calls[2 + 9 * f + 2 * k];
      const GLCall &v = calls[3 + 9 * f + 2 * k];
      const double tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      EXPECT_EQ(t.args[0], tex[k][0]);
      EXPECT_EQ(t.args[1], tex[k][1]);
      for (int a = 0; a < 3; ++a) corner[k][a] = v.args[a];
      double onFace = n.args[0] * v.args[0] + n.args[1] * v.args[1] + n.args[2] * v.args[2];
      EXPECT_EQ(onFace, 1.0);
    }
    double e1[3], e2[3];
    for (int a = 0; a < 3; ++a) e1[a] = corner[1][a] - corner[0][a], e2[a] = corner[2][a] - corner[1][a];
    double cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    EXPECT_GT(cross[0] * n.args[0] + cross[1] * n.args[1] + cross[2] * n.args[2], 0) << "face " << f;
  }
}

TEST(Primitives, CubeCoversItsBoxAndCullsFromInside) {
  GLTest::resetView();
  cRenderer *r = getRenderer();
  glColor3f(1, 1, 1);
  gluLookAt(0, 0, 6, 0, 0, 0, 0, 1, 0);
  r->enable(STATE_CULL);
  r->drawCube();
  Image outside = GLTest::grab();
  EXPECT_GT(outside.at(512, 384)[0], 200);
  EXPECT_EQ(outside.at(20, 20)[0], 0);
  GLTest::resetView();
  glColor3f(1, 1, 1);
  r->drawCube();  // the eye at the origin, inside the cube: every face is a back face
  Image inside = GLTest::grab();
  EXPECT_EQ(litPixels(inside), 0);
  r->disable(STATE_CULL);
  EXPECT_NO_GL_ERROR();
}
