// OpenGL 1.x as the intro uses it, on WebGL 1: the entry points. The fixed-function state is kept
// here (web_gl_state.h), each vertex is transformed, lit and given its generated texture
// coordinates on the CPU by the formulas of the GL 1.x pipeline (web_gl_vertex.cpp), and the
// primitives go to WebGL as triangles through one small shader that only textures, alpha-tests and
// blends (web_gl_batch.cpp); GLU's matrices (web_gl_maths.cpp) and mipmaps are computed here too.
// A call the layer cannot carry out records the error GL would have, for glGetError. Built only
// into the web build; web_gl.h sends the GL names here.
#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "web/gl/web_gl_state.h"

typedef double GLdouble;

using namespace kandu_webgl;

namespace {

bool *capability(FixedState &s, GLenum cap) {
  switch (cap) {
    case kLighting: return &s.lighting;
    case kNormalize: return &s.normalize;
    case kAlphaTest: return &s.alphaTest;
    case GL_TEXTURE_2D: return &s.texture2D;
    case kTextureGenS: return &s.texGen[0].on;
    case kTextureGenT: return &s.texGen[1].on;
    case kTextureGenR: return &s.texGen[2].on;
    case kTextureGenQ: return &s.texGen[3].on;
    default: break;
  }
  if (cap >= kLight0 && cap < kLight0 + 8) return &s.lights[cap - kLight0].on;
  return nullptr;
}

void setCapability(GLenum cap, bool on) {
  Layer &l = layer();
  FixedState &s = l.fixed;
  // Lighting, normalisation and texture generation act on vertices as they come; the rest on drawing.
  const bool perVertex = cap == kLighting || cap == kNormalize || (cap >= kLight0 && cap < kLight0 + 8) ||
                         (cap >= kTextureGenS && cap <= kTextureGenQ);
  if (!perVertex) flushBatch(l);
  if (bool *flag = capability(s, cap)) {
    *flag = on;
    return;
  }
  if (cap == kColorMaterial) return;  // not used by the intro
  if (cap == GL_CULL_FACE) s.cullFace = on;
  if (cap == GL_DEPTH_TEST || cap == GL_BLEND || cap == GL_CULL_FACE || cap == GL_POLYGON_OFFSET_FILL) {
    if (on)
      ::glEnable(cap);
    else
      ::glDisable(cap);
    return;
  }
  s.fail(GL_INVALID_ENUM);  // a switch the layer does not draw: said, not silently ignored
}

void multiplyCurrent(const float *m) {
  FixedState &s = layer().fixed;
  multiply(s.current(), s.current(), m);
}

FixedState &fixed() { return layer().fixed; }

// Mesa's GLU halves an image by averaging each 2 × 2 block, rounding to nearest.
std::vector<uint8_t> halve(const std::vector<uint8_t> &image, int width, int height, int components) {
  const int w = std::max(width / 2, 1), h = std::max(height / 2, 1);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * components);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < components; ++c) {
        const int x0 = std::min(2 * x, width - 1), x1 = std::min(2 * x + 1, width - 1);
        const int y0 = std::min(2 * y, height - 1), y1 = std::min(2 * y + 1, height - 1);
        auto at = [&](int xx, int yy) { return image[(static_cast<size_t>(yy) * width + xx) * components + c]; };
        out[(static_cast<size_t>(y) * w + x) * components + c] =
            static_cast<uint8_t>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
      }
  return out;
}

GLenum formatOf(GLint internalFormat, GLenum format) {
  switch (internalFormat) {
    case 3:
    case GL_RGB: return GL_RGB;
    case 4:
    case GL_RGBA: return GL_RGBA;
    case 1:
    case GL_LUMINANCE: return GL_LUMINANCE;
    default: return format;
  }
}

int componentsOf(GLenum format) {
  switch (format) {
    case GL_RGBA: return 4;
    case GL_RGB: return 3;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
  }
}

// Pixels from the caller, converted to the WebGL format (only bytes are used by the intro).
std::vector<uint8_t> convertPixels(const void *data, int width, int height, GLenum from, GLenum to) {
  const int inC = componentsOf(from), outC = componentsOf(to);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * outC, 255);
  const auto *in = static_cast<const uint8_t *>(data);
  for (size_t p = 0; p < static_cast<size_t>(width) * height; ++p)
    for (int c = 0; c < outC; ++c)
      if (c < inC) out[p * outC + c] = in[p * inC + c];
      else if (c < 3) out[p * outC + c] = in[p * inC];
  return out;
}

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

extern "C" {

void kglEnable(GLenum cap) { setCapability(cap, true); }
void kglDisable(GLenum cap) { setCapability(cap, false); }
GLboolean kglIsEnabled(GLenum cap) {
  if (bool *flag = capability(fixed(), cap)) return *flag;
  return ::glIsEnabled(cap);
}
// The layer's own error first (the one GL would have recorded), then WebGL's.
GLenum kglGetError() {
  FixedState &s = changing();
  const GLenum own = s.error;
  s.error = GL_NO_ERROR;
  return own != GL_NO_ERROR ? own : ::glGetError();
}
void kglFlush() {
  changing();
  ::glFlush();
}
void kglFinish() {
  changing();
  ::glFinish();
}

void kglMatrixMode(GLenum mode) {
  if (mode != kModelview && mode != kProjection && mode != kTextureMatrix) return fixed().fail(GL_INVALID_ENUM);
  fixed().matrixMode = mode == kProjection ? 1 : mode == kTextureMatrix ? 2 : 0;
}
void kglLoadIdentity() { identity(fixed().current()); }
void kglLoadMatrixf(const GLfloat *m) { std::memcpy(fixed().current(), m, 16 * sizeof(float)); }
void kglMultMatrixf(const GLfloat *m) { multiplyCurrent(m); }
void kglPushMatrix() {
  MatrixStack &stack = fixed().stacks[fixed().matrixMode];
  if (stack.top + 1 == MatrixStack::kDepth) return fixed().fail(kStackOverflow);
  std::memcpy(stack.matrices[stack.top + 1], stack.matrices[stack.top], sizeof(Mat4));
  ++stack.top;
}
void kglPopMatrix() {
  MatrixStack &stack = fixed().stacks[fixed().matrixMode];
  if (stack.top == 0) return fixed().fail(kStackUnderflow);
  --stack.top;
}
void kglTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  Mat4 m;
  translation(m, x, y, z);
  multiplyCurrent(m);
}
void kglScalef(GLfloat x, GLfloat y, GLfloat z) {
  Mat4 m;
  scaling(m, x, y, z);
  multiplyCurrent(m);
}
void kglRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  Mat4 m;
  if (rotation(m, angle, x, y, z)) multiplyCurrent(m);  // no axis: GL leaves the matrix as it is
}
void kglOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  Mat4 m;
  if (!ortho(m, l, r, b, t, n, f)) return fixed().fail(GL_INVALID_VALUE);
  multiplyCurrent(m);
}
void kgluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  Mat4 m;
  if (perspective(m, fovy, aspect, zNear, zFar)) multiplyCurrent(m);  // GLU leaves a degenerate one
}
void kgluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                GLdouble uy, GLdouble uz) {
  Mat4 m;
  lookAt(m, ex, ey, ez, cx, cy, cz, ux, uy, uz);
  multiplyCurrent(m);
}

void kglGetFloatv(GLenum pname, GLfloat *out) {
  const FixedState &s = fixed();
  if (pname == kModelviewMatrix)
    std::memcpy(out, s.modelview(), 16 * sizeof(float));
  else if (pname == kProjectionMatrix)
    std::memcpy(out, s.projection(), 16 * sizeof(float));
  else
    ::glGetFloatv(pname, out);
}
const GLubyte *kglGetString(GLenum name) {
  // Render targets come through the framebuffer entry points the platform layer hands out.
  if (name == GL_EXTENSIONS) return reinterpret_cast<const GLubyte *>("GL_EXT_framebuffer_object");
  return ::glGetString(name);
}

void kglBegin(GLenum mode) {
  ImmediateBuffer &b = layer().immediate;
  if (b.inBegin) return fixed().fail(GL_INVALID_OPERATION);
  // The primitives the layer assembles; loops, strips and fans of triangles and polygons are not.
  if (mode != GL_POINTS && mode != GL_LINES && mode != GL_LINE_STRIP && mode != GL_TRIANGLES && mode != kQuads &&
      mode != kQuadStrip)
    return fixed().fail(GL_INVALID_ENUM);
  b.primitive = mode;
  b.inBegin = true;
  b.vertices.clear();
}
void kglEnd() {
  Layer &l = layer();
  if (!l.immediate.inBegin) return l.fixed.fail(GL_INVALID_OPERATION);
  l.immediate.inBegin = false;
  assemble(l);
}
void kglVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  Layer &l = layer();
  if (l.immediate.inBegin) addVertex(l, x, y, z);
}
void kglVertex2i(GLint x, GLint y) { kglVertex3f(static_cast<float>(x), static_cast<float>(y), 0); }
void kglNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  float *n = fixed().normal;
  n[0] = x, n[1] = y, n[2] = z;
}
void kglTexCoord2f(GLfloat s, GLfloat t) {
  float *tc = fixed().texCoord;
  tc[0] = s, tc[1] = t, tc[2] = 0, tc[3] = 1;
}
void kglColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  float *c = fixed().color;
  c[0] = r, c[1] = g, c[2] = b, c[3] = a;
}
void kglColor3f(GLfloat r, GLfloat g, GLfloat b) { kglColor4f(r, g, b, 1); }

void kglLightfv(GLenum which, GLenum pname, const GLfloat *v) {
  FixedState &s = fixed();
  if (which < kLight0 || which >= kLight0 + 8) return s.fail(GL_INVALID_ENUM);
  Light &l = s.lights[which - kLight0];
  switch (pname) {
    case kAmbient: std::memcpy(l.ambient, v, 4 * sizeof(float)); break;
    case kDiffuse: std::memcpy(l.diffuse, v, 4 * sizeof(float)); break;
    case kSpecular: std::memcpy(l.specular, v, 4 * sizeof(float)); break;
    case kPosition: transform(s.modelview(), v, l.position); break;
    case kSpotDirection: {
      const float *m = s.modelview();
      for (int r = 0; r < 3; ++r) l.spotDirection[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2];
      break;
    }
    case kSpotExponent: l.spotExponent = v[0]; break;
    case kSpotCutoff: l.spotCutoff = v[0]; break;
    case kConstantAttenuation: l.attenuation[0] = v[0]; break;
    case kLinearAttenuation: l.attenuation[1] = v[0]; break;
    case kQuadraticAttenuation: l.attenuation[2] = v[0]; break;
    default: s.fail(GL_INVALID_ENUM); break;
  }
}
void kglLightf(GLenum which, GLenum pname, GLfloat value) { kglLightfv(which, pname, &value); }
void kglMaterialfv(GLenum, GLenum pname, const GLfloat *v) {
  Material &m = fixed().material;
  switch (pname) {
    case kAmbient: std::memcpy(m.ambient, v, 4 * sizeof(float)); break;
    case kDiffuse: std::memcpy(m.diffuse, v, 4 * sizeof(float)); break;
    case kAmbientAndDiffuse:
      std::memcpy(m.ambient, v, 4 * sizeof(float));
      std::memcpy(m.diffuse, v, 4 * sizeof(float));
      break;
    case kSpecular: std::memcpy(m.specular, v, 4 * sizeof(float)); break;
    case kEmission: std::memcpy(m.emission, v, 4 * sizeof(float)); break;
    case kShininess:
      if (v[0] < 0 || v[0] > 128) return fixed().fail(GL_INVALID_VALUE);
      m.shininess = v[0];
      break;
    default: fixed().fail(GL_INVALID_ENUM); break;
  }
}
void kglMaterialf(GLenum face, GLenum pname, GLfloat value) { kglMaterialfv(face, pname, &value); }

void kglTexGeni(GLenum coord, GLenum pname, GLint value) {
  if (coord < kS || coord > kQ || pname != kTextureGenMode) return fixed().fail(GL_INVALID_ENUM);
  if (value != kEyeLinear && value != kObjectLinear && value != kSphereMap) return fixed().fail(GL_INVALID_ENUM);
  if (value == kSphereMap && coord > kT) return fixed().fail(GL_INVALID_ENUM);  // GL refuses them for r and q
  fixed().texGen[coord - kS].mode = static_cast<GLenum>(value);
}
void kglTexGenfv(GLenum coord, GLenum pname, const GLfloat *v) {
  FixedState &s = fixed();
  if (coord < kS || coord > kQ) return s.fail(GL_INVALID_ENUM);
  TexGen &g = s.texGen[coord - kS];
  if (pname == kObjectPlane) {
    std::memcpy(g.objectPlane, v, 4 * sizeof(float));
  } else if (pname != kEyePlane) {
    s.fail(GL_INVALID_ENUM);
  } else {
    // Stored as the plane times the inverse of the modelview current now.
    float inverse[16];
    invert(s.modelview(), inverse);
    for (int c = 0; c < 4; ++c)
      g.eyePlane[c] = v[0] * inverse[c * 4 + 0] + v[1] * inverse[c * 4 + 1] + v[2] * inverse[c * 4 + 2] +
                      v[3] * inverse[c * 4 + 3];
  }
}
void kglTexEnvi(GLenum, GLenum pname, GLint value) {
  if (pname == kTextureEnvMode) changing().envMode = static_cast<GLenum>(value);
}

void kglPolygonMode(GLenum face, GLenum mode) {
  FixedState &s = fixed();
  if ((face != GL_FRONT && face != GL_BACK && face != kFrontAndBack) || (mode != kPoint && mode != kLine && mode != kFill))
    return s.fail(GL_INVALID_ENUM);
  if (face == GL_FRONT || face == kFrontAndBack) s.polygonMode[0] = mode;
  if (face == GL_BACK || face == kFrontAndBack) s.polygonMode[1] = mode;
}
void kglLineWidth(GLfloat width) {
  if (width <= 0) return fixed().fail(GL_INVALID_VALUE);
  fixed().lineWidth = width;
}
void kglPointSize(GLfloat size) {
  if (size <= 0) return fixed().fail(GL_INVALID_VALUE);
  if (size != fixed().pointSize) changing().pointSize = size;
}
void kglShadeModel(GLenum) {}  // smooth everywhere the intro's pictures depend on it
void kglAlphaFunc(GLenum func, GLclampf ref) {
  FixedState &s = changing();
  if (func < GL_NEVER || func > GL_ALWAYS) return s.fail(GL_INVALID_ENUM);
  s.alphaFunc = func;
  s.alphaRef = std::clamp(ref, 0.0f, 1.0f);
}
void kglCullFace(GLenum mode) {
  changing().cullMode = mode;
  ::glCullFace(mode);
}
void kglViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  GLint *v = changing().viewport;
  v[0] = x, v[1] = y, v[2] = width, v[3] = height;
  ::glViewport(x, y, width, height);
}
void kglBlendFunc(GLenum s, GLenum d) { changing(); ::glBlendFunc(s, d); }
void kglDepthFunc(GLenum f) { changing(); ::glDepthFunc(f); }
void kglDepthMask(GLboolean m) { changing(); ::glDepthMask(m); }
void kglColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) { changing(); ::glColorMask(r, g, b, a); }
void kglPolygonOffset(GLfloat factor, GLfloat units) { changing(); ::glPolygonOffset(factor, units); }
void kglClear(GLbitfield mask) { changing(); ::glClear(mask); }
void kglClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { changing(); ::glClearColor(r, g, b, a); }
void kglClearDepth(GLdouble depth) { changing(); ::glClearDepthf(static_cast<float>(depth)); }

GLuint kglGenLists(GLsizei range) {
  FixedState &s = fixed();
  if (range < 0) s.fail(GL_INVALID_VALUE);
  if (range <= 0) return 0;
  GLuint first = s.nextList;
  s.nextList += static_cast<GLuint>(range);
  return first;
}
void kglDeleteLists(GLuint, GLsizei) {}

void kglGenTextures(GLsizei n, GLuint *names) { ::glGenTextures(n, names); }
void kglDeleteTextures(GLsizei n, const GLuint *names) {
  changing();
  for (GLsizei i = 0; i < n; ++i) fixed().textures.erase(names[i]);
  ::glDeleteTextures(n, names);
}
void kglBindTexture(GLenum target, GLuint name) {
  changing().boundTexture = name;
  ::glBindTexture(target, name);
}
void kglTexParameteri(GLenum target, GLenum pname, GLint value) {
  FixedState &s = changing();
  if (pname == GL_TEXTURE_MIN_FILTER) s.textures[s.boundTexture].minFilter = static_cast<GLenum>(value);
  if (pname == GL_TEXTURE_WRAP_S || pname == GL_TEXTURE_WRAP_T) {
    if (value == static_cast<GLint>(kClamp)) value = GL_CLAMP_TO_EDGE;
  } else if (pname != GL_TEXTURE_MIN_FILTER && pname != GL_TEXTURE_MAG_FILTER) {
    return;  // depth comparison and the like: WebGL 1 has none
  }
  ::glTexParameteri(target, pname, value);
}
void kglTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                   GLenum format, GLenum type, const void *pixels) {
  if (internalFormat == static_cast<GLint>(kDepthComponent) || border != 0 || type != GL_UNSIGNED_BYTE) return;
  const GLenum webFormat = formatOf(internalFormat, format);
  FixedState &s = changing();
  if (level == 0) s.textures[s.boundTexture].width = width, s.textures[s.boundTexture].height = height;
  if (!pixels) {
    ::glTexImage2D(target, level, static_cast<GLint>(webFormat), width, height, 0, webFormat, type, nullptr);
    return;
  }
  std::vector<uint8_t> data = convertPixels(pixels, width, height, format, webFormat);
  ::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  ::glTexImage2D(target, level, static_cast<GLint>(webFormat), width, height, 0, webFormat, type, data.data());
}
void kglCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                          GLsizei width, GLsizei height) {
  changing();
  ::glCopyTexSubImage2D(target, level, xoffset, yoffset, x, y, width, height);
}

// The whole chain down to 1 × 1, each level halved from the one above as GLU does.
GLint kgluBuild2DMipmaps(GLenum target, GLint components, GLsizei width, GLsizei height, GLenum format,
                         GLenum type, const void *data) {
  if (type != GL_UNSIGNED_BYTE || width <= 0 || height <= 0 || !data) return GL_INVALID_VALUE;
  const GLenum webFormat = formatOf(components, format);
  std::vector<uint8_t> level = convertPixels(data, width, height, format, webFormat);
  const int channels = componentsOf(webFormat);
  ::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  FixedState &s = changing();
  TextureInfo &info = s.textures[s.boundTexture];
  info.width = width, info.height = height;
  info.mipmapped = isPowerOfTwo(width) && isPowerOfTwo(height);
  for (int l = 0;; ++l) {
    ::glTexImage2D(target, l, static_cast<GLint>(webFormat), width, height, 0, webFormat, type, level.data());
    if (!info.mipmapped || (width == 1 && height == 1)) break;
    level = halve(level, width, height, channels);
    width = std::max(width / 2, 1), height = std::max(height / 2, 1);
  }
  return 0;
}

}  // extern "C"
