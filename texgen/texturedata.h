// Pixel buffers and the generator interface.
//
// A cTextureData holds width × height RGBA pixels, row after row (row 0 is t = 0 once uploaded).
// A cGenerator fills a buffer in place; the type code says which generator it is (0 none,
// 2 sine plasma, 5 Perlin noise).
#pragma once

#include <cstdint>

namespace Kandu {

class cTextureData {
 public:
  cTextureData() = default;
  cTextureData(const cTextureData &) = delete;
  cTextureData &operator=(const cTextureData &) = delete;
  ~cTextureData() { delete[] pixels; }

  // A new size, filled with opaque black. A size whose byte count does not fit 32 bits fails with
  // std::bad_alloc rather than returning a short buffer.
  void allocate(int32_t w, int32_t h);
  void copyFrom(const cTextureData &source);
  uint8_t *pixel(int32_t x, int32_t y) { return pixels + 4 * (static_cast<int64_t>(width) * y + x); }

  int32_t width = 0;
  int32_t height = 0;
  uint8_t *pixels = nullptr;
};

}  // namespace Kandu

namespace KanduBase {

class cGenerator {
 public:
  virtual void generate(Kandu::cTextureData &texture);
  virtual int32_t getType() const;
};

}  // namespace KanduBase

namespace Kandu {

class cSinPlasmaGenerator final : public KanduBase::cGenerator {
 public:
  void generate(cTextureData &texture) override;
  int32_t getType() const override { return 2; }
  float &getIntensity() { return intensity; }
  float &getFreqX() { return freqX; }
  float &getFreqY() { return freqY; }

  float intensity = 256.0f;
  float freqX = 100.0f;
  float freqY = 100.0f;
};

class cPerlinNoiseGenerator final : public KanduBase::cGenerator {
 public:
  void generate(cTextureData &texture) override;
  int32_t getType() const override { return 5; }

  float seed = 2339.0f;
  float noiseScale = 2.0f;
  float rowStride = 1000.0f;
};

// The pieces of the Perlin noise, exposed for checking.
float latticeHash(int32_t n);
float smoothInterp(float a, float b, float t);
float latticeNoise(float x, float y, int32_t width, int32_t seed, double cellSize);

}  // namespace Kandu
