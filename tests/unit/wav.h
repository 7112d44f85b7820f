// 16-bit PCM WAV files written by hand, at any rate and channel count, for the music tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline void writeTestWav(const std::string &path, int rate, int channels, const std::vector<int16_t> &samples) {
  FILE *f = std::fopen(path.c_str(), "wb");
  auto u32 = [&](uint32_t v) {
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
  };
  auto u16 = [&](uint16_t v) {
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
  };
  const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
  std::fwrite("RIFF", 1, 4, f);
  u32(36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(1);
  u16(static_cast<uint16_t>(channels));
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate * channels * 2));
  u16(static_cast<uint16_t>(channels * 2));
  u16(16);
  std::fwrite("data", 1, 4, f);
  u32(bytes);
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
  std::fclose(f);
}
