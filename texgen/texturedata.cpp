#include "texgen/texturedata.h"

#include <cstring>
#include <new>

namespace Kandu {

void cTextureData::allocate(int32_t w, int32_t h) {
  delete[] pixels;
  pixels = nullptr;
  width = 0;
  height = 0;
  int64_t count = static_cast<int64_t>(w) * h;
  if (count < 0 || count * 4 > 0xFFFFFFFFll) throw std::bad_alloc();
  pixels = new uint8_t[static_cast<size_t>(count * 4)];
  width = w;
  height = h;
  for (int64_t i = 0; i < count; ++i) {
    pixels[4 * i] = pixels[4 * i + 1] = pixels[4 * i + 2] = 0;
    pixels[4 * i + 3] = 255;
  }
}

void cTextureData::copyFrom(const cTextureData &source) {
  if (&source == this) return;
  allocate(source.width, source.height);
  if (width > 0 && height > 0)
    std::memcpy(pixels, source.pixels, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
}

}  // namespace Kandu

namespace KanduBase {

void cGenerator::generate(Kandu::cTextureData &) {}
int32_t cGenerator::getType() const { return 0; }

}  // namespace KanduBase
