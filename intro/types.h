// Shared value types and small numeric helpers used across the engine. Every subsystem may include
// this header; it includes nothing of the project's own.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

struct cVector3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct cColor4 {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

inline cVector3 makeVector(float x, float y, float z) { return cVector3{x, y, z}; }
inline cColor4 makeColor(float r, float g, float b, float a) { return cColor4{r, g, b, a}; }
inline float lerp(float a, float b, float t) { return static_cast<float>(a + (static_cast<double>(b) - a) * t); }
inline float square(float x) { return x * x; }
inline float cosFloat(float angle) { return static_cast<float>(std::cos(static_cast<double>(angle))); }
inline float sinFloat(float angle) { return static_cast<float>(std::sin(static_cast<double>(angle))); }

namespace Kandu {

// Float to 32-bit integer, truncating toward zero; NaN gives 0 and values beyond the range
// saturate, so that no parameter text or generator setting can make the conversion undefined.
inline int32_t truncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace Kandu
