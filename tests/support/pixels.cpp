#include "tests/support/pixels.h"

#include <cstdlib>

int litPixels(const kandu::Image &image, int x0, int y0, int x1, int y1, int threshold) {
  int lit = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t *p = image.at(x, y);
      if (p[0] > threshold || p[1] > threshold || p[2] > threshold) ++lit;
    }
  return lit;
}

int litPixels(const kandu::Image &image, int threshold) {
  return litPixels(image, 0, 0, image.width, image.height, threshold);
}

PictureDifference difference(const kandu::Image &a, const kandu::Image &b, int big) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty()) return {255, 1};
  double sum = 0;
  size_t off = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    const int d = std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    sum += d;
    off += d > big;
  }
  return {sum / static_cast<double>(a.rgb.size()), static_cast<double>(off) / static_cast<double>(a.rgb.size())};
}
