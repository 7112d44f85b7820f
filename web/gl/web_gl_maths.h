// The web GL layer's maths: 4 × 4 matrices stored column-major as GL keeps them, and the matrices
// GL and GLU build (translate, scale, rotate, ortho, gluPerspective, gluLookAt), so that each can
// be checked against the desktop driver's own.
#pragma once

namespace kandu_webgl {

typedef float Mat4[16];

void identity(float *m);
// out = a × b (out may be a or b).
void multiply(float *out, const float *a, const float *b);
// out = m × v for a 4-vector.
void transform(const float *m, const float *v, float *out);
// The inverse of a general 4 × 4 matrix (by cofactors); identity when it is singular.
void invert(const float *m, float *out);
float dot3(const float *a, const float *b);
void normalize3(float *v);

// Each writes the matrix its GL or GLU namesake multiplies onto the current one; false (and m
// left alone) where GL leaves the matrix as it is (no rotation axis, a degenerate projection).
void translation(float *m, float x, float y, float z);
void scaling(float *m, float x, float y, float z);
bool rotation(float *m, float degrees, float x, float y, float z);
bool ortho(float *m, double left, double right, double bottom, double top, double zNear, double zFar);
bool perspective(float *m, double fovy, double aspect, double zNear, double zFar);
// gluLookAt's rotation followed by the translation by minus the eye.
void lookAt(float *m, double ex, double ey, double ez, double cx, double cy, double cz, double ux, double uy,
            double uz);

}  // namespace kandu_webgl
