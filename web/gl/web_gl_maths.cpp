#include "web/gl/web_gl_maths.h"

#include <cmath>
#include <cstring>

namespace kandu_webgl {

void identity(float *m) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void multiply(float *out, const float *a, const float *b) {
  float r[16];
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[col * 4 + k];
      r[col * 4 + row] = sum;
    }
  std::memcpy(out, r, sizeof r);
}

void transform(const float *m, const float *v, float *out) {
  for (int row = 0; row < 4; ++row)
    out[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
}

void invert(const float *m, float *out) {
  double inv[16], det;
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
           m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
           m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
           m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
            m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
           m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
           m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
           m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
            m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
           m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
           m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
            m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
            m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
           m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
           m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
            m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
            m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
  det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  if (det == 0) {
    identity(out);
    return;
  }
  for (int i = 0; i < 16; ++i) out[i] = static_cast<float>(inv[i] / det);
}

float dot3(const float *a, const float *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void normalize3(float *v) {
  float length = std::sqrt(dot3(v, v));
  if (length > 0)
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void translation(float *m, float x, float y, float z) {
  identity(m);
  m[12] = x, m[13] = y, m[14] = z;
}

void scaling(float *m, float x, float y, float z) {
  identity(m);
  m[0] = x, m[5] = y, m[10] = z;
}

bool rotation(float *m, float degrees, float x, float y, float z) {
  const float radians = degrees * static_cast<float>(M_PI) / 180.0f;
  const float s = std::sin(radians), c = std::cos(radians);
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return false;
  x /= length, y /= length, z /= length;
  identity(m);
  m[0] = x * x * (1 - c) + c, m[4] = x * y * (1 - c) - z * s, m[8] = x * z * (1 - c) + y * s;
  m[1] = y * x * (1 - c) + z * s, m[5] = y * y * (1 - c) + c, m[9] = y * z * (1 - c) - x * s;
  m[2] = x * z * (1 - c) - y * s, m[6] = y * z * (1 - c) + x * s, m[10] = z * z * (1 - c) + c;
  return true;
}

bool ortho(float *m, double l, double r, double b, double t, double n, double f) {
  if (l == r || b == t || n == f) return false;
  identity(m);
  m[0] = static_cast<float>(2 / (r - l));
  m[5] = static_cast<float>(2 / (t - b));
  m[10] = static_cast<float>(-2 / (f - n));
  m[12] = static_cast<float>(-(r + l) / (r - l));
  m[13] = static_cast<float>(-(t + b) / (t - b));
  m[14] = static_cast<float>(-(f + n) / (f - n));
  return true;
}

bool perspective(float *m, double fovy, double aspect, double zNear, double zFar) {
  const double radians = fovy / 2 * M_PI / 180, deltaZ = zFar - zNear, sine = std::sin(radians);
  if (deltaZ == 0 || sine == 0 || aspect == 0) return false;
  const double cotangent = std::cos(radians) / sine;
  for (int i = 0; i < 16; ++i) m[i] = 0;
  m[0] = static_cast<float>(cotangent / aspect);
  m[5] = static_cast<float>(cotangent);
  m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
  m[11] = -1;
  m[14] = static_cast<float>(-2 * zNear * zFar / deltaZ);
  return true;
}

void lookAt(float *m, double ex, double ey, double ez, double cx, double cy, double cz, double ux, double uy,
            double uz) {
  float forward[3] = {static_cast<float>(cx - ex), static_cast<float>(cy - ey), static_cast<float>(cz - ez)};
  float up[3] = {static_cast<float>(ux), static_cast<float>(uy), static_cast<float>(uz)};
  normalize3(forward);
  float side[3] = {forward[1] * up[2] - forward[2] * up[1], forward[2] * up[0] - forward[0] * up[2],
                   forward[0] * up[1] - forward[1] * up[0]};
  normalize3(side);
  float upright[3] = {side[1] * forward[2] - side[2] * forward[1], side[2] * forward[0] - side[0] * forward[2],
                      side[0] * forward[1] - side[1] * forward[0]};
  Mat4 rotate, move;
  identity(rotate);
  for (int i = 0; i < 3; ++i) {
    rotate[i * 4 + 0] = side[i];
    rotate[i * 4 + 1] = upright[i];
    rotate[i * 4 + 2] = -forward[i];
  }
  translation(move, static_cast<float>(-ex), static_cast<float>(-ey), static_cast<float>(-ez));
  multiply(m, rotate, move);
}

}  // namespace kandu_webgl
