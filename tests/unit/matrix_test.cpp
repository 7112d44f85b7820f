#include <gtest/gtest.h>

#include "renderer/shadow.h"

namespace {
cMatrix4 fromValues(std::initializer_list<float> v) {
  cMatrix4 m;
  int i = 0;
  for (float x : v) m[i++] = x;
  return m;
}

// The plain column-major product.
cMatrix4 full(const cMatrix4 &a, const cMatrix4 &b) {
  cMatrix4 r;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += static_cast<double>(a[4 * k + i]) * b[4 * j + k];
      r[4 * j + i] = static_cast<float>(s);
    }
  return r;
}

void expectSame(const cMatrix4 &a, const cMatrix4 &b) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], b[i]) << "element " << i;
}

cMatrix4 translation(float x, float y, float z) {
  cMatrix4 m;
  m[12] = x, m[13] = y, m[14] = z;
  return m;
}
cMatrix4 scaling(float s) {
  cMatrix4 m;
  m[0] = m[5] = m[10] = s;
  return m;
}
}  // namespace

TEST(Matrix, IdentityIsNeutralOnBothSides) {
  cMatrix4 id;
  cMatrix4 m = fromValues({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  expectSame(multiply(id, m), m);
  expectSame(multiply(m, id), m);
}

TEST(Matrix, TranslationAndScaleCompose) {
  cMatrix4 ts = multiply(translation(1, 2, 3), scaling(2));
  EXPECT_EQ(ts[0], 2);
  EXPECT_EQ(ts[5], 2);
  EXPECT_EQ(ts[10], 2);
  EXPECT_EQ(ts[12], 1);
  EXPECT_EQ(ts[13], 2);
  EXPECT_EQ(ts[14], 3);
  EXPECT_EQ(ts[15], 1);
  cMatrix4 st = multiply(scaling(2), translation(1, 2, 3));
  EXPECT_EQ(st[12], 2);
  EXPECT_EQ(st[13], 4);
  EXPECT_EQ(st[14], 6);
}

TEST(Matrix, EveryVariantEqualsTheFullProduct) {
  cMatrix4 affine1 = fromValues({0.3f, -1.2f, 2.5f, 0, 4.1f, 0.7f, -0.2f, 0, 1.5f, 9, -3.3f, 0, 7, -8, 0.25f, 1});
  cMatrix4 affine2 = fromValues({-2, 0.5f, 1, 0, 3, 3, -7.5f, 0, 0.1f, 0.2f, 0.3f, 0, -1, 2, -3, 1});
  cMatrix4 projective1 = fromValues({1.1f, 0, 0, 0, 0, 2.4f, 0, 0, 0.3f, 0.1f, -1.002f, -1, 0, 0, -2.002f, 0});
  cMatrix4 projective2 = fromValues({0.5f, 1, 2, 0.25f, -1, 3, 0.5f, 0.5f, 2, 2, 2, 0.125f, 1, -1, 1, 2});
  const cMatrix4 *all[] = {&affine1, &affine2, &projective1, &projective2, &shadowBiasMatrix()};
  for (const cMatrix4 *a : all)
    for (const cMatrix4 *b : all) expectSame(multiply(*a, *b), full(*a, *b));
}

TEST(Matrix, BiasMapsClipSpaceToTextureSpace) {
  const cMatrix4 &bias = shadowBiasMatrix();
  // Column-major: scale ½ on the diagonal, translation ½ in column 3.
  const float expected[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0.5f, 0.5f, 0.5f, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bias[i], expected[i]) << "element " << i;
  EXPECT_EQ(&shadowBiasMatrix(), &bias);
}

TEST(ShadowState, StartsWithIdentityMatricesAnd512Map) {
  cShadowMapState s;
  EXPECT_EQ(s.mapSize, 512.0f);
  EXPECT_EQ(s.textureCreated, 0);
  expectSame(s.lightProjection, cMatrix4());
  expectSame(s.cameraView, cMatrix4());
}
