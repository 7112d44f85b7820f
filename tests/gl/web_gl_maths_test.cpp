// The web GL layer's matrices against the desktop driver's own GL and GLU: each must be the
// matrix glTranslatef, glScalef, glRotatef, glOrtho, gluPerspective and gluLookAt multiply on.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "web/gl/web_gl_maths.h"
#include "tests/support/gl_test.h"

namespace {

// The driver's modelview after `build` from identity, against the layer's `ours`.
void expectSame(const std::function<void()> &build, const float *ours, const char *what) {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  build();
  GLfloat driver[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, driver);
  for (int i = 0; i < 16; ++i)
      EXPECT_NEAR(ours[i], driver[i], 1e-5f * std::max(1.0f, std::fabs(driver[i]))) << what << " element " << i;
  EXPECT_NO_GL_ERROR();
  glLoadIdentity();
}

}  // namespace

TEST(WebGlMaths, MatricesAreTheDriversOwn) {
  using namespace kandu_webgl;
  Mat4 m;
  translation(m, 1.5f, -2, 30);
  expectSame([] { glTranslatef(1.5f, -2, 30); }, m, "translate");
  scaling(m, 3, 0.5f, -1);
  expectSame([] { glScalef(3, 0.5f, -1); }, m, "scale");
  ASSERT_TRUE(rotation(m, 37, 1, 2, -0.5f));
  expectSame([] { glRotatef(37, 1, 2, -0.5f); }, m, "rotate");
  EXPECT_FALSE(rotation(m, 37, 0, 0, 0));
  ASSERT_TRUE(ortho(m, 0, 1024, 768, 0, -1, 1));
  expectSame([] { glOrtho(0, 1024, 768, 0, -1, 1); }, m, "ortho");
  ASSERT_TRUE(perspective(m, 45, 4.0 / 3, 0.5, 1000));
  expectSame([] { gluPerspective(45, 4.0 / 3, 0.5, 1000); }, m, "perspective");
  lookAt(m, 3, 4, 5, 0, 1, -2, 0, 1, 0.2);
  expectSame([] { gluLookAt(3, 4, 5, 0, 1, -2, 0, 1, 0.2); }, m, "lookAt");
  // A product and an inverse: the look-at times its inverse is the identity.
  Mat4 inverse, product;
  invert(m, inverse);
  multiply(product, m, inverse);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], i % 5 == 0 ? 1.0f : 0.0f, 1e-5f) << i;
}
