// RGB images (the frames read back from GL, the sheet) and PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kandu {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top row first

  uint8_t *at(int x, int y) { return &rgb[3 * (static_cast<size_t>(y) * width + x)]; }
  const uint8_t *at(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * width + x)]; }
};

// A frame as GL hands it out fastest: BGRA bytes, bottom row first.
struct RawFrame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;
};

Image toImage(const RawFrame &frame);

// Writes an 8-bit RGB PNG; false with the reason (the caller names the file it stands for).
bool writePng(const std::string &path, const Image &image, std::string &error);
// Reads a PNG as RGB; false with "PATH: reason".
bool readPng(const std::string &path, Image &image, std::string &error);

// A box-filtered copy shrunk by an integer factor.
Image downsample(const Image &image, int factor);

}  // namespace kandu
