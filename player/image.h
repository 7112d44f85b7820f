// RGB images: read back from GL, written as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

RawFrame readRawFrame(int width, int height);
Image toImage(const RawFrame &frame);

// Reads the current read buffer into a top-row-first RGB image.
Image readFramebuffer(int width, int height);

// Writes an 8-bit RGB PNG; false with errno-style reason on failure.
bool writePng(const std::string &path, const Image &image, std::string *error = nullptr);
bool readPng(const std::string &path, Image &image);

// A box-filtered copy shrunk by an integer factor.
Image downsample(const Image &image, int factor);
