// The random sequence of glibc's rand, for platforms whose C library has another one (the web
// page): the water's kicks come from rand, so the same sequence makes the same ripples.
// glibc's rand is random_r's TYPE_3 additive feedback generator, x[i] = x[i-3] + x[i-31] (mod
// 2^32), each result the sum shifted right once, its 31 words seeded as srand seeds them and the
// first 310 results thrown away; unseeded, it starts as srand(1).
#pragma once

#include <cstdint>

namespace KanduPlatform {

class GlibcRandom {
 public:
  explicit GlibcRandom(unsigned seed = 1) { reseed(seed); }

  void reseed(unsigned seed) {
    if (seed == 0) seed = 1;
    state_[0] = static_cast<int32_t>(seed);
    for (int i = 1; i < 31; ++i) {
      // (16807 × previous) mod (2^31 − 1), without overflow (Schrage's method)
      const int32_t hi = state_[i - 1] / 127773, lo = state_[i - 1] % 127773;
      int32_t word = 16807 * lo - 2836 * hi;
      if (word < 0) word += 2147483647;
      state_[i] = word;
    }
    front_ = 3, rear_ = 0;
    for (int i = 0; i < 310; ++i) next();
  }

  int next() {
    const uint32_t sum = static_cast<uint32_t>(state_[front_]) + static_cast<uint32_t>(state_[rear_]);
    state_[front_] = static_cast<int32_t>(sum);
    if (++front_ == 31) front_ = 0;
    if (++rear_ == 31) rear_ = 0;
    return static_cast<int>(sum >> 1);
  }

 private:
  int32_t state_[31];
  int front_ = 3, rear_ = 0;
};

}  // namespace KanduPlatform
