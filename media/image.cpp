#include "media/image.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/printable.h"

namespace kandu {

Image toImage(const RawFrame &frame) {
  Image image;
  image.width = frame.width;
  image.height = frame.height;
  image.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
  for (int y = 0; y < frame.height; ++y) {
    const uint8_t *src = &frame.bgra[static_cast<size_t>(frame.height - 1 - y) * frame.width * 4];
    uint8_t *dst = image.at(0, y);
    for (int x = 0; x < frame.width; ++x, src += 4, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
  return image;
}

namespace {
void silentPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
}  // namespace

bool writePng(const std::string &path, const Image &image, std::string &error) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  // libpng reports a failed write (a full disk) by longjmp; the reason is then in errno.
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, silentPngError, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  errno = 0;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    int why = errno;
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = why ? std::strerror(why) : "cannot encode PNG";
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 3);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) png_write_row(png, const_cast<png_bytep>(image.at(0, y)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  bool ok = std::fclose(file) == 0;
  if (!ok) error = std::strerror(errno);
  return ok;
}

bool readPng(const std::string &path, Image &image, std::string &error) {
  png_image decoded;
  std::memset(&decoded, 0, sizeof decoded);
  decoded.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&decoded, path.c_str())) {
    error = printable(path) + ": not a PNG file that can be read";
    return false;
  }
  decoded.format = PNG_FORMAT_RGB;
  image.width = static_cast<int>(decoded.width);
  image.height = static_cast<int>(decoded.height);
  image.rgb.resize(PNG_IMAGE_SIZE(decoded));
  bool ok = png_image_finish_read(&decoded, nullptr, image.rgb.data(), 0, nullptr) != 0;
  png_image_free(&decoded);
  if (!ok) error = printable(path) + ": " + decoded.message;
  return ok;
}

Image downsample(const Image &image, int factor) {
  Image out;
  out.width = image.width / factor;
  out.height = image.height / factor;
  out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx) sum += image.at(x * factor + dx, y * factor + dy)[c];
        out.at(x, y)[c] = static_cast<uint8_t>(sum / (factor * factor));
      }
  return out;
}

}  // namespace kandu
