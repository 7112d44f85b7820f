// Perlin-style lattice noise: six octaves of smoothly interpolated hashed lattice values, each
// weighted by its cell size, summed as integers into grey.
#include <cmath>

#include "intro/types.h"
#include "texgen/texturedata.h"

namespace Kandu {

// In unsigned arithmetic: the products wrap at 32 bits, which signed arithmetic may not do.
float latticeHash(int32_t n) {
  uint32_t m = static_cast<uint32_t>(n);
  m = m ^ (m << 13);
  uint32_t r = (m * (m * m * 15731u + 789221u) - 771171059u) & 0x7FFFFFFFu;
  return static_cast<float>(static_cast<double>(r) * 4.656612873077393e-10);
}

float smoothInterp(float a, float b, float t) {
  double td = t;
  return static_cast<float>(a + (3.0 - 2.0 * td) * ((static_cast<double>(b) - a) * td * td));
}

float latticeNoise(float x, float y, int32_t width, int32_t seed, double cellSize) {
  float e = static_cast<float>(cellSize);
  double inv = 1.0 / e;
  int32_t cellsPerRow = truncToInt(width * inv);
  int32_t x0 = truncToInt(x * inv), y0 = truncToInt(y * inv);
  float fx = static_cast<float>(x * inv - x0);
  float fy = static_cast<float>(y * inv - y0);
  uint32_t i = static_cast<uint32_t>(y0) * static_cast<uint32_t>(cellsPerRow) + static_cast<uint32_t>(x0) +
               static_cast<uint32_t>(seed);
  uint32_t row = static_cast<uint32_t>(cellsPerRow);
  float nearRow = smoothInterp(latticeHash(static_cast<int32_t>(i)), latticeHash(static_cast<int32_t>(i + 1)), fx);
  float farRow = smoothInterp(latticeHash(static_cast<int32_t>(i + row)),
                              latticeHash(static_cast<int32_t>(i + row + 1)), fx);
  return static_cast<float>(static_cast<double>(smoothInterp(nearRow, farRow, fy)) * 120.0);
}

namespace {
struct Octave {
  double cellSize;
  double weight;
};
// No octave of cell size 50, and 1.56 rather than 1.5625: the noise's own recipe.
const Octave kOctaves[6] = {{12.5, 0.125}, {1.56, 0.0156}, {25.0, 0.25},
                            {3.125, 0.03125}, {6.25, 0.0625}, {100.0, 1.0}};
}  // namespace

void cPerlinNoiseGenerator::generate(cTextureData &texture) {
  for (int32_t y = 0; y < texture.height; ++y) {
    for (int32_t x = 0; x < texture.width; ++x) {
      int32_t s = truncToInt(seed), r = truncToInt(rowStride);
      float px = static_cast<float>(static_cast<double>(x) * noiseScale);
      float py = static_cast<float>(static_cast<double>(y) * noiseScale);
      int32_t total = 0;
      for (const Octave &o : kOctaves)
        total += truncToInt(static_cast<double>(latticeNoise(px, py, r, s, o.cellSize)) * o.weight);
      uint8_t *p = texture.pixel(x, y);
      p[0] = p[1] = p[2] = static_cast<uint8_t>(total);
    }
  }
}

}  // namespace Kandu
