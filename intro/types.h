// Shared value types and small numeric helpers used across the engine.
#pragma once

#include <cmath>

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
