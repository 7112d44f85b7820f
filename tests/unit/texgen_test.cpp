#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <new>
#include <vector>

#include "texgen/stack.h"
#include "texgen/texturedata.h"

using namespace Kandu;

namespace {
void fill(cTextureData &t, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  for (int32_t i = 0; i < t.width * t.height; ++i) {
    t.pixels[4 * i] = r, t.pixels[4 * i + 1] = g, t.pixels[4 * i + 2] = b, t.pixels[4 * i + 3] = a;
  }
}

// The result of blending one source pixel over one destination pixel.
uint8_t blendOne(int mode, int amount, uint8_t s, uint8_t d) {
  cTextureData src, dst;
  src.allocate(1, 1);
  dst.allocate(1, 1);
  fill(src, s, s, s, s);
  fill(dst, d, d, d, d);
  blendLayer(src, dst, mode, amount);
  return dst.pixels[0];
}
}  // namespace

TEST(TextureData, AllocateFillsOpaqueBlackAndReplaces) {
  cTextureData t;
  t.allocate(2, 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(t.pixels[4 * i], 0);
    EXPECT_EQ(t.pixels[4 * i + 3], 255);
  }
  t.pixels[0] = 77;
  t.allocate(3, 1);
  EXPECT_EQ(t.width, 3);
  EXPECT_EQ(t.pixels[0], 0);
  t.allocate(0, 0);
  EXPECT_EQ(t.width, 0);
  EXPECT_EQ(t.height, 0);
}

TEST(TextureData, ImpossibleSizesFailWithBadAlloc) {
  cTextureData t;
  EXPECT_THROW(t.allocate(-1, 5), std::bad_alloc);
  EXPECT_THROW(t.allocate(65536, 65536), std::bad_alloc);
}

TEST(TextureData, CopyTakesSizeAndPixels) {
  cTextureData src, dst;
  src.allocate(128, 128);
  src.pixels[4 * 200 + 1] = 9;
  dst.allocate(4, 4);
  dst.copyFrom(src);
  EXPECT_EQ(dst.width, 128);
  EXPECT_EQ(dst.height, 128);
  EXPECT_EQ(dst.pixels[4 * 200 + 1], 9);
}

TEST(Generators, TypeCodesAndTheDoNothingBase) {
  KanduBase::cGenerator base;
  cSinPlasmaGenerator plasma;
  cPerlinNoiseGenerator noise;
  EXPECT_EQ(base.getType(), 0);
  EXPECT_EQ(plasma.getType(), 2);
  EXPECT_EQ(noise.getType(), 5);
  cTextureData t;
  t.allocate(2, 2);
  t.pixels[0] = 42;
  base.generate(t);
  EXPECT_EQ(t.pixels[0], 42);
}

TEST(SinPlasma, CornerIs127AndAlphaUntouched) {
  cTextureData t;
  t.allocate(128, 128);
  t.pixels[3] = 200;
  cSinPlasmaGenerator g;
  g.generate(t);
  EXPECT_EQ(t.pixels[0], 127);
  EXPECT_EQ(t.pixels[1], 127);
  EXPECT_EQ(t.pixels[2], 127);
  EXPECT_EQ(t.pixels[3], 200);
}

TEST(SinPlasma, IntensityScalesAndRunsAreRepeatable) {
  cTextureData full, half, again;
  full.allocate(32, 32);
  half.allocate(32, 32);
  again.allocate(32, 32);
  cSinPlasmaGenerator g;
  g.generate(full);
  g.generate(again);
  EXPECT_EQ(0, memcmp(full.pixels, again.pixels, 32 * 32 * 4));
  g.getIntensity() = 128;
  g.generate(half);
  // (127 + 63.5 sin(100 x) + 63.5 sin(100 y)) × intensity / 256, each sine in single precision.
  int wrong = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      double sx = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(100.0 * x))));
      double sy = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(100.0 * y))));
      int fullValue = static_cast<int>(static_cast<float>(sy * 63.5 + (sx * 63.5 + 127.0)));
      int halfValue = static_cast<int>(static_cast<float>((sy * 63.5 + (sx * 63.5 + 127.0)) * 0.5));
      if (full.pixel(x, y)[0] != fullValue || half.pixel(x, y)[0] != halfValue) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(half.pixels[0], 63);
  cTextureData empty;
  empty.allocate(0, 5);
  g.generate(empty);
}

TEST(PerlinNoise, HashAndInterpolation) {
  EXPECT_NEAR(latticeHash(0), 0.640895, 1e-6);
  EXPECT_NEAR(latticeHash(2339), 0.382389, 1e-6);
  for (int32_t n : {-7, 1 << 30, INT32_MIN, INT32_MAX}) {
    float h = latticeHash(n);
    EXPECT_GE(h, 0.0f);
    EXPECT_LE(h, 1.0f);
  }
  EXPECT_EQ(smoothInterp(3, 9, 0), 3.0f);
  EXPECT_EQ(smoothInterp(3, 9, 1), 9.0f);
  EXPECT_EQ(smoothInterp(0, 1, 0.5f), 0.5f);
  // Inside, the cubic parts from a straight line: t² (3 − 2t) at 0.25 is 0.15625, at 0.75 0.84375.
  EXPECT_EQ(smoothInterp(0, 1, 0.25f), 0.15625f);
  EXPECT_EQ(smoothInterp(2, 6, 0.75f), 5.375f);
  // At a lattice point the noise is the corner's hash.
  EXPECT_FLOAT_EQ(latticeNoise(0, 0, 1000, 2339, 100.0), static_cast<float>(latticeHash(2339) * 120.0));
}

namespace {
// The reference noise texture, its red channel as a binary PGM (tests/golden/perlin_noise.pgm,
// looked at when it was made; KANDU_UPDATE_GOLDENS=1 writes it again).
std::string referencePath() { return std::string(KANDU_GOLDEN_DIR) + "/perlin_noise.pgm"; }

std::vector<uint8_t> readPgm(const std::string &path, int width, int height) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  if (magic != "P5" || w != width || h != height || max != 255) return {};
  in.read(reinterpret_cast<char *>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
  return in ? pixels : std::vector<uint8_t>();
}
}  // namespace

TEST(PerlinNoise, EveryPixelIsTheReferencesAndAlphaIsUntouched) {
  cTextureData t;
  t.allocate(128, 128);
  t.pixels[7] = 13;
  cPerlinNoiseGenerator g;
  g.generate(t);
  EXPECT_EQ(t.pixels[0], 64);  // the corner: terms 5, 0, 11, 1, 2 and 45
  std::vector<uint8_t> red;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) red.push_back(t.pixel(x, y)[0]);
  if (std::getenv("KANDU_UPDATE_GOLDENS")) {
    std::ofstream out(referencePath(), std::ios::binary);
    out << "P5\n128 128\n255\n";
    out.write(reinterpret_cast<const char *>(red.data()), static_cast<std::streamsize>(red.size()));
  }
  const std::vector<uint8_t> reference = readPgm(referencePath(), 128, 128);
  ASSERT_FALSE(reference.empty()) << "cannot read " << referencePath();
  int wrong = 0;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x)
      if (t.pixel(x, y)[0] != reference[static_cast<size_t>(y * 128 + x)] || t.pixel(x, y)[2] != t.pixel(x, y)[0]) ++wrong;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(t.pixels[3], 255);
  EXPECT_EQ(t.pixels[7], 13);
}

TEST(BlendLayer, MixUsesSinglePrecisionFactors) {
  EXPECT_EQ(blendOne(LAYER_MIX, 50, 200, 100), 150);
  EXPECT_EQ(blendOne(LAYER_MIX, 90, 200, 100), 189);
  EXPECT_EQ(blendOne(LAYER_MIX, 100, 200, 100), 200);
  EXPECT_EQ(blendOne(LAYER_MIX, 250, 200, 100), 200);
  EXPECT_EQ(blendOne(LAYER_MIX, 0, 200, 100), 100);
  for (int amount : {0, 50, 90, 100}) EXPECT_EQ(blendOne(LAYER_MIX, amount, 255, 255), 255) << amount;
  EXPECT_EQ(blendOne(LAYER_MIX, 33, 255, 255), 254);
}

TEST(BlendLayer, ProductMaskCopyAndUnknownModes) {
  EXPECT_EQ(blendOne(LAYER_PRODUCT, 50, 20, 20), 100);
  EXPECT_EQ(blendOne(LAYER_PRODUCT, 50, 100, 100), 255);
  EXPECT_EQ(blendOne(LAYER_PRODUCT, 100, 100, 100), 0);
  EXPECT_EQ(blendOne(LAYER_MASK, 10, 255, 77), 77);
  EXPECT_EQ(blendOne(LAYER_MASK, 10, 254, 77), 0);
  EXPECT_EQ(blendOne(LAYER_COPY, 0, 9, 77), 9);
  for (int mode : {0, 5, 99}) EXPECT_EQ(blendOne(mode, 50, 9, 77), 77) << mode;
  uint8_t negative = blendOne(LAYER_MIX, -100, 200, 100);  // never used by the intro: a clamped byte
  EXPECT_LE(negative, 255);
}

TEST(BlendLayer, SmallerDestinationIsNeverOverrun) {
  cTextureData src, dst;
  src.allocate(8, 8);
  dst.allocate(2, 2);
  fill(src, 200, 200, 200, 200);
  blendLayer(src, dst, LAYER_MIX, 100);
  EXPECT_EQ(dst.pixels[15], 200);
}

TEST(TextureStack, LayersStartWithDefaultsAndGeneratorsRunAtOnce) {
  cPointerList stacks;
  createTextureStack(stacks);
  ASSERT_EQ(stacks.count, 1);
  cTextureStack *s = static_cast<cTextureStack *>(stacks.first());
  EXPECT_STREQ(s->name, "tex1");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(layerAt(s, i)->amount, 100);
    EXPECT_EQ(layerAt(s, i)->blendMode, LAYER_MIX);
    EXPECT_EQ(layerAt(s, i)->generator->getType(), 0);
    EXPECT_EQ(layerAt(s, i)->texture->width, 128);
  }
  EXPECT_EQ(s->result.texture->height, 128);
  setLayerGenerator(layerAt(s, 3), 5);
  EXPECT_EQ(layerAt(s, 3)->generator->getType(), 5);
  EXPECT_EQ(layerAt(s, 3)->texture->pixels[0], 64);
  setLayerGenerator(layerAt(s, 2), 2);
  EXPECT_EQ(layerAt(s, 2)->texture->pixels[0], 127);
  setLayerGenerator(layerAt(s, 1), 3);
  EXPECT_EQ(layerAt(s, 1)->generator->getType(), 0);
}
