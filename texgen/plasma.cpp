// Sine plasma: 127 + 63.5 sin(freqX x) + 63.5 sin(freqY y), scaled by intensity / 256, in grey.
#include <cmath>

#include "texgen/texturedata.h"

namespace Kandu {

void cSinPlasmaGenerator::generate(cTextureData &texture) {
  for (int32_t y = 0; y < texture.height; ++y) {
    for (int32_t x = 0; x < texture.width; ++x) {
      float k = static_cast<float>(static_cast<double>(intensity) * 0.00390625);
      float u = static_cast<float>(static_cast<double>(x) * freqX);
      float p = static_cast<float>(std::sin(static_cast<double>(u)));
      double s1 = static_cast<double>(p) * 63.5 + 127.0;
      float v = static_cast<float>(static_cast<double>(freqY) * y);
      float q = static_cast<float>(std::sin(static_cast<double>(v)));
      float value = static_cast<float>((static_cast<double>(q) * 63.5 + s1) * k);
      // Out-of-range intensities wrap in the low eight bits; a value beyond int range is not a
      // pixel value anyone asked for, so it saturates before the wrap.
      double clamped = std::isnan(value) ? 0.0 : value;
      if (clamped > 2147483647.0) clamped = 2147483647.0;
      if (clamped < -2147483648.0) clamped = -2147483648.0;
      uint8_t g = static_cast<uint8_t>(static_cast<int32_t>(clamped) & 0xFF);
      uint8_t *px = texture.pixel(x, y);
      px[0] = px[1] = px[2] = g;
    }
  }
}

}  // namespace Kandu
