// OpenGL 1.x as the intro uses it, on WebGL 1: the fixed-function state kept here, each vertex
// transformed, lit and given its generated texture coordinates on the CPU by the formulas of the
// GL 1.x pipeline, and the primitives handed to WebGL as triangles through one small shader that
// only textures, alpha-tests and blends. Quads and quad strips become triangles, lines become
// parallelograms as wide as GL draws them (WebGL draws lines one pixel wide), polygons in line
// mode become their edges (culled first, as GL culls them), and GLU's matrices and mipmaps are
// computed here. Built only into the web build; web_gl.h sends the GL names here.
#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace {

// The GL 1.x names WebGL's headers do not have.
enum : GLenum {
  kQuads = 0x0007, kQuadStrip = 0x0008,
  kModelview = 0x1700, kProjection = 0x1701, kTextureMatrix = 0x1702,
  kModelviewMatrix = 0x0BA6, kProjectionMatrix = 0x0BA7,
  kLighting = 0x0B50, kLight0 = 0x4000, kNormalize = 0x0BA1, kAlphaTest = 0x0BC0, kColorMaterial = 0x0B57,
  kTextureGenS = 0x0C60, kTextureGenT = 0x0C61, kTextureGenR = 0x0C62, kTextureGenQ = 0x0C63,
  kS = 0x2000, kT = 0x2001, kR = 0x2002, kQ = 0x2003,
  kTextureGenMode = 0x2500, kObjectPlane = 0x2501, kEyePlane = 0x2502,
  kEyeLinear = 0x2400, kObjectLinear = 0x2401, kSphereMap = 0x2402,
  kAmbient = 0x1200, kDiffuse = 0x1201, kSpecular = 0x1202, kPosition = 0x1203, kSpotDirection = 0x1204,
  kSpotExponent = 0x1205, kSpotCutoff = 0x1206, kConstantAttenuation = 0x1207, kLinearAttenuation = 0x1208,
  kQuadraticAttenuation = 0x1209, kEmission = 0x1600, kShininess = 0x1601, kAmbientAndDiffuse = 0x1602,
  kFrontAndBack = 0x0408, kLine = 0x1B01, kFill = 0x1B02,
  kTextureEnvMode = 0x2200, kModulate = 0x2100, kReplace = 0x1E01,
  kClamp = 0x2900, kDepthComponent = 0x1902,
};

typedef float Mat[16];  // column-major, as GL keeps it
}  // namespace
typedef double GLdouble;
namespace {

void identity(float *m) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// out = a × b (out may be a or b).
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

// The inverse of a general 4×4 matrix (cofactors); identity when it is singular.
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

struct Light {
  bool on = false;
  float ambient[4] = {0, 0, 0, 1}, diffuse[4] = {0, 0, 0, 1}, specular[4] = {0, 0, 0, 1};
  float position[4] = {0, 0, 1, 0};  // eye coordinates
  float spotDirection[3] = {0, 0, -1};
  float spotExponent = 0, spotCutoff = 180;
  float attenuation[3] = {1, 0, 0};
};

struct Material {
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1}, specular[4] = {0, 0, 0, 1};
  float emission[4] = {0, 0, 0, 1};
  float shininess = 0;
};

struct TexGen {
  bool on = false;
  GLenum mode = kEyeLinear;
  float objectPlane[4] = {0, 0, 0, 0}, eyePlane[4] = {0, 0, 0, 0};
};

struct TextureInfo {
  int width = 0, height = 0;
  bool mipmapped = false;
  GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR;
};

// What a vertex carries to WebGL: clip coordinates, colour, texture coordinates.
struct Vertex {
  float clip[4], color[4], tex[4];
};

struct State {
  std::vector<std::vector<float>> stacks[3];  // modelview, projection, texture; the back is current
  int matrixMode = 0;
  float color[4] = {1, 1, 1, 1}, normal[3] = {0, 0, 1}, texCoord[4] = {0, 0, 0, 1};
  bool lighting = false, normalize = false, alphaTest = false, texture2D = false, cullFace = false;
  Light lights[8];
  Material material;
  float lightModelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
  TexGen texGen[4];
  GLenum cullMode = GL_BACK;
  GLenum polygonMode[2] = {kFill, kFill};  // front, back
  float lineWidth = 1, pointSize = 1;
  GLenum alphaFunc = GL_ALWAYS;
  float alphaRef = 0;
  GLenum envMode = kModulate;
  GLint viewport[4] = {0, 0, 0, 0};
  GLuint boundTexture = 0;
  std::map<GLuint, TextureInfo> textures;
  GLuint nextList = 1;

  GLenum primitive = 0;
  bool inBegin = false;
  std::vector<Vertex> vertices;  // of the primitive being built
  std::vector<float> eyeVertices;

  // Triangles waiting to be drawn: vertices are in clip coordinates already, so primitives keep
  // collecting across matrix and lighting changes and are drawn when WebGL state must change.
  GLenum batchMode = GL_TRIANGLES;
  bool batchUnculled = false;
  std::vector<Vertex> batch;

  GLuint program = 0, buffer = 0;
  GLint aClip = -1, aColor = -1, aTex = -1;
  GLint uTexturing = -1, uReplace = -1, uAlphaFunc = -1, uAlphaRef = -1, uPointSize = -1, uSampler = -1;

  State() {
    for (auto &stack : stacks) {
      stack.assign(1, std::vector<float>(16));
      identity(stack.back().data());
    }
    lights[0].diffuse[0] = lights[0].diffuse[1] = lights[0].diffuse[2] = 1;
    lights[0].specular[0] = lights[0].specular[1] = lights[0].specular[2] = 1;
    texGen[0].objectPlane[0] = texGen[0].eyePlane[0] = 1;
    texGen[1].objectPlane[1] = texGen[1].eyePlane[1] = 1;
  }
  float *current() { return stacks[matrixMode].back().data(); }
  float *modelview() { return stacks[0].back().data(); }
  float *projection() { return stacks[1].back().data(); }
  // The inverse of the modelview, worked out again only when the modelview has changed.
  const float *inverseModelview() {
    if (std::memcmp(inverseOf, modelview(), sizeof inverseOf) != 0) {
      std::memcpy(inverseOf, modelview(), sizeof inverseOf);
      invert(inverseOf, inverse);
    }
    return inverse;
  }
  float inverseOf[16] = {0}, inverse[16] = {0};
};

State &gl() {
  static State *state = new State();  // lives as long as the page
  return *state;
}

const char *kVertexShader = R"(
attribute vec4 aClip;
attribute vec4 aColor;
attribute vec4 aTex;
uniform float uPointSize;
varying vec4 vColor;
varying vec4 vTex;
void main() {
  gl_Position = aClip;
  gl_PointSize = uPointSize;
  vColor = aColor;
  vTex = aTex;
}
)";

const char *kFragmentShader = R"(
precision highp float;
varying vec4 vColor;
varying vec4 vTex;
uniform bool uTexturing;
uniform bool uReplace;
uniform int uAlphaFunc;
uniform float uAlphaRef;
uniform sampler2D uSampler;
void main() {
  vec4 color = clamp(vColor, 0.0, 1.0);
  if (uTexturing) {
    vec4 texel = texture2D(uSampler, vTex.st / vTex.q);
    color = uReplace ? texel : color * texel;
  }
  // GL_NEVER .. GL_ALWAYS are 0x200 .. 0x207; here 0 .. 7.
  float a = color.a;
  bool pass = uAlphaFunc == 7 || (uAlphaFunc == 1 && a < uAlphaRef) || (uAlphaFunc == 2 && a == uAlphaRef) ||
              (uAlphaFunc == 3 && a <= uAlphaRef) || (uAlphaFunc == 4 && a > uAlphaRef) ||
              (uAlphaFunc == 5 && a != uAlphaRef) || (uAlphaFunc == 6 && a >= uAlphaRef);
  if (!pass) discard;
  gl_FragColor = color;
}
)";

GLuint compile(GLenum type, const char *source) {
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  return shader;
}

void ensureProgram(State &s) {
  if (s.program) return;
  s.program = glCreateProgram();
  glAttachShader(s.program, compile(GL_VERTEX_SHADER, kVertexShader));
  glAttachShader(s.program, compile(GL_FRAGMENT_SHADER, kFragmentShader));
  glLinkProgram(s.program);
  s.aClip = glGetAttribLocation(s.program, "aClip");
  s.aColor = glGetAttribLocation(s.program, "aColor");
  s.aTex = glGetAttribLocation(s.program, "aTex");
  s.uTexturing = glGetUniformLocation(s.program, "uTexturing");
  s.uReplace = glGetUniformLocation(s.program, "uReplace");
  s.uAlphaFunc = glGetUniformLocation(s.program, "uAlphaFunc");
  s.uAlphaRef = glGetUniformLocation(s.program, "uAlphaRef");
  s.uPointSize = glGetUniformLocation(s.program, "uPointSize");
  s.uSampler = glGetUniformLocation(s.program, "uSampler");
  glGenBuffers(1, &s.buffer);
}

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// GL textures an incomplete texture as if texturing were off; WebGL would sample black.
bool textureComplete(State &s) {
  auto it = s.textures.find(s.boundTexture);
  if (it == s.textures.end() || it->second.width <= 0) return false;
  const TextureInfo &t = it->second;
  bool wantsMipmaps = t.minFilter != GL_NEAREST && t.minFilter != GL_LINEAR;
  if (wantsMipmaps && !t.mipmapped) return false;
  return !wantsMipmaps || (isPowerOfTwo(t.width) && isPowerOfTwo(t.height));
}

void draw(State &s, GLenum mode, const std::vector<Vertex> &vertices) {
  if (vertices.empty()) return;
  ensureProgram(s);
  glUseProgram(s.program);
  glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
               GL_STREAM_DRAW);
  const GLsizei stride = sizeof(Vertex);
  glEnableVertexAttribArray(static_cast<GLuint>(s.aClip));
  glVertexAttribPointer(static_cast<GLuint>(s.aClip), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, clip)));
  glEnableVertexAttribArray(static_cast<GLuint>(s.aColor));
  glVertexAttribPointer(static_cast<GLuint>(s.aColor), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, color)));
  glEnableVertexAttribArray(static_cast<GLuint>(s.aTex));
  glVertexAttribPointer(static_cast<GLuint>(s.aTex), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, tex)));
  const bool texturing = s.texture2D && textureComplete(s);
  glUniform1i(s.uTexturing, texturing ? 1 : 0);
  glUniform1i(s.uReplace, s.envMode == kReplace ? 1 : 0);
  glUniform1i(s.uAlphaFunc, s.alphaTest ? static_cast<GLint>(s.alphaFunc - GL_NEVER) : 7);
  glUniform1f(s.uAlphaRef, s.alphaRef);
  glUniform1f(s.uPointSize, s.pointSize);
  glUniform1i(s.uSampler, 0);
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertices.size()));
}

void flushBatch(State &s) {
  if (s.batch.empty()) return;
  if (s.batchUnculled && s.cullFace) ::glDisable(GL_CULL_FACE);
  draw(s, s.batchMode, s.batch);
  if (s.batchUnculled && s.cullFace) ::glEnable(GL_CULL_FACE);
  s.batch.clear();
}

// Lines and polygon edges are triangles of their own, which WebGL must not cull.
void queue(State &s, GLenum mode, bool unculled, const std::vector<Vertex> &vertices) {
  if (vertices.empty()) return;
  if (mode != s.batchMode || unculled != s.batchUnculled) flushBatch(s);
  s.batchMode = mode;
  s.batchUnculled = unculled;
  s.batch.insert(s.batch.end(), vertices.begin(), vertices.end());
}

// Flushes before a change of the state WebGL draws with.
State &changing() {
  State &s = gl();
  flushBatch(s);
  return s;
}

// The fixed-function lighting of one vertex in eye coordinates (GL 1.x, one-sided, infinite viewer).
void light(const State &s, const float *eye, const float *normal, float *out) {
  const Material &m = s.material;
  for (int c = 0; c < 3; ++c) out[c] = m.emission[c] + m.ambient[c] * s.lightModelAmbient[c];
  out[3] = m.diffuse[3];
  for (const Light &l : s.lights) {
    if (!l.on) continue;
    float toLight[3], attenuation = 1;
    if (l.position[3] != 0) {
      for (int c = 0; c < 3; ++c) toLight[c] = l.position[c] / l.position[3] - eye[c] / eye[3];
      float d = std::sqrt(dot3(toLight, toLight));
      attenuation = 1.0f / (l.attenuation[0] + l.attenuation[1] * d + l.attenuation[2] * d * d);
    } else {
      for (int c = 0; c < 3; ++c) toLight[c] = l.position[c];
    }
    normalize3(toLight);
    if (l.spotCutoff != 180) {
      float fromLight[3] = {-toLight[0], -toLight[1], -toLight[2]}, direction[3];
      std::memcpy(direction, l.spotDirection, sizeof direction);
      normalize3(direction);
      float cosine = dot3(fromLight, direction);
      attenuation *= cosine < std::cos(l.spotCutoff * static_cast<float>(M_PI) / 180) ? 0.0f
                                                                                     : std::pow(cosine, l.spotExponent);
    }
    float diffuse = std::max(dot3(normal, toLight), 0.0f);
    float specular = 0;
    if (diffuse > 0) {
      float half[3] = {toLight[0], toLight[1], toLight[2] + 1};
      normalize3(half);
      float nh = std::max(dot3(normal, half), 0.0f);
      specular = m.shininess == 0 ? 1.0f : std::pow(nh, m.shininess);
    }
    for (int c = 0; c < 3; ++c)
      out[c] += attenuation * (m.ambient[c] * l.ambient[c] + diffuse * m.diffuse[c] * l.diffuse[c] +
                               specular * m.specular[c] * l.specular[c]);
  }
}

void makeVertex(State &s, float x, float y, float z) {
  const float object[4] = {x, y, z, 1};
  float eye[4];
  transform(s.modelview(), object, eye);
  Vertex v;
  transform(s.projection(), eye, v.clip);
  // The normal in eye coordinates: by the inverse transpose of the modelview, not renormalised
  // unless GL_NORMALIZE is on (a scaled object is lit darker or brighter, as in GL).
  const float *inverse = s.inverseModelview();
  float n[3];
  for (int r = 0; r < 3; ++r)
    n[r] = s.normal[0] * inverse[r * 4 + 0] + s.normal[1] * inverse[r * 4 + 1] + s.normal[2] * inverse[r * 4 + 2];
  if (s.normalize) normalize3(n);
  if (s.lighting)
    light(s, eye, n, v.color);
  else
    std::memcpy(v.color, s.color, sizeof v.color);
  std::memcpy(v.tex, s.texCoord, sizeof v.tex);
  float sphere[2] = {0, 0};
  if ((s.texGen[0].on && s.texGen[0].mode == kSphereMap) || (s.texGen[1].on && s.texGen[1].mode == kSphereMap)) {
    float u[3] = {eye[0], eye[1], eye[2]};
    normalize3(u);
    float nu = dot3(n, u), r[3];
    for (int c = 0; c < 3; ++c) r[c] = u[c] - 2 * n[c] * nu;
    float m = 2 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1) * (r[2] + 1));
    if (m != 0) sphere[0] = r[0] / m + 0.5f, sphere[1] = r[1] / m + 0.5f;
  }
  for (int i = 0; i < 4; ++i) {
    const TexGen &g = s.texGen[i];
    if (!g.on) continue;
    if (g.mode == kSphereMap && i < 2)
      v.tex[i] = sphere[i];
    else if (g.mode == kObjectLinear)
      v.tex[i] = g.objectPlane[0] * x + g.objectPlane[1] * y + g.objectPlane[2] * z + g.objectPlane[3];
    else if (g.mode == kEyeLinear)
      v.tex[i] = g.eyePlane[0] * eye[0] + g.eyePlane[1] * eye[1] + g.eyePlane[2] * eye[2] + g.eyePlane[3] * eye[3];
  }
  s.vertices.push_back(v);
}

// Window x, y of a vertex (w > 0).
void windowXY(const State &s, const Vertex &v, float *xy) {
  xy[0] = (v.clip[0] / v.clip[3] + 1) * 0.5f * static_cast<float>(s.viewport[2]) + static_cast<float>(s.viewport[0]);
  xy[1] = (v.clip[1] / v.clip[3] + 1) * 0.5f * static_cast<float>(s.viewport[3]) + static_cast<float>(s.viewport[1]);
}

// A line as GL rasterises a wide aliased one: a parallelogram `width` pixels across along the
// minor axis, its ends square to the major axis.
void addLine(const State &s, const Vertex &a, const Vertex &b, std::vector<Vertex> &out) {
  if (a.clip[3] <= 0 || b.clip[3] <= 0) return;  // behind the eye: left out
  float pa[2], pb[2];
  windowXY(s, a, pa);
  windowXY(s, b, pb);
  const bool xMajor = std::fabs(pb[0] - pa[0]) >= std::fabs(pb[1] - pa[1]);
  const int axis = xMajor ? 1 : 0;
  const float half = s.lineWidth / static_cast<float>(xMajor ? s.viewport[3] : s.viewport[2]);  // NDC
  Vertex corners[4] = {a, a, b, b};
  corners[0].clip[axis] -= half * a.clip[3];
  corners[1].clip[axis] += half * a.clip[3];
  corners[2].clip[axis] -= half * b.clip[3];
  corners[3].clip[axis] += half * b.clip[3];
  const int order[6] = {0, 1, 2, 1, 3, 2};
  for (int i : order) out.push_back(corners[i]);
}

// Polygons (as vertex index lists) drawn filled or as edges, culled as GL culls them.
struct Polygon {
  size_t corner[4];
  size_t size() const { return corner[3] == kNone ? 3 : 4; }
  size_t operator[](size_t i) const { return corner[i]; }
  static const size_t kNone = ~size_t(0);
};

void drawPolygons(State &s, const std::vector<Polygon> &polygons) {
  std::vector<Vertex> filled, edges;
  const bool allFilled = s.polygonMode[0] == kFill && s.polygonMode[1] == kFill;
  for (const auto &polygon : polygons) {
    if (allFilled) {  // WebGL culls filled triangles itself
      for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        filled.push_back(s.vertices[polygon[0]]);
        filled.push_back(s.vertices[polygon[i]]);
        filled.push_back(s.vertices[polygon[i + 1]]);
      }
      continue;
    }
    bool front = true;
    bool known = true;
    float area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
      const Vertex &a = s.vertices[polygon[i]], &b = s.vertices[polygon[(i + 1) % polygon.size()]];
      if (a.clip[3] <= 0 || b.clip[3] <= 0) known = false;
      float pa[2], pb[2];
      windowXY(s, a, pa);
      windowXY(s, b, pb);
      area += pa[0] * pb[1] - pb[0] * pa[1];
    }
    front = area > 0;  // counter-clockwise in window coordinates
    GLenum mode = s.polygonMode[front ? 0 : 1];
    if (mode == kLine) {
      if (!known) continue;
      if (s.cullFace && (s.cullMode == GL_FRONT_AND_BACK || (s.cullMode == GL_FRONT) == front)) continue;
      for (size_t i = 0; i < polygon.size(); ++i)
        addLine(s, s.vertices[polygon[i]], s.vertices[polygon[(i + 1) % polygon.size()]], edges);
    } else {
      for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        filled.push_back(s.vertices[polygon[0]]);
        filled.push_back(s.vertices[polygon[i]]);
        filled.push_back(s.vertices[polygon[i + 1]]);
      }
    }
  }
  queue(s, GL_TRIANGLES, false, filled);
  queue(s, GL_TRIANGLES, true, edges);
}

void flush(State &s) {
  const size_t n = s.vertices.size();
  std::vector<Polygon> polygons;
  std::vector<Vertex> lines;
  switch (s.primitive) {
    case GL_TRIANGLES:
      for (size_t i = 0; i + 2 < n; i += 3) polygons.push_back({{i, i + 1, i + 2, Polygon::kNone}});
      break;
    case kQuads:
      for (size_t i = 0; i + 3 < n; i += 4) polygons.push_back({{i, i + 1, i + 2, i + 3}});
      break;
    case kQuadStrip:
      for (size_t i = 0; i + 3 < n; i += 2) polygons.push_back({{i, i + 1, i + 3, i + 2}});
      break;
    case GL_LINES:
      for (size_t i = 0; i + 1 < n; i += 2) addLine(s, s.vertices[i], s.vertices[i + 1], lines);
      break;
    case GL_LINE_STRIP:
      for (size_t i = 0; i + 1 < n; ++i) addLine(s, s.vertices[i], s.vertices[i + 1], lines);
      break;
    case GL_POINTS: queue(s, GL_POINTS, false, s.vertices); break;
    default: break;
  }
  if (!polygons.empty()) drawPolygons(s, polygons);
  queue(s, GL_TRIANGLES, true, lines);
  s.vertices.clear();
}

bool *capability(State &s, GLenum cap) {
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
  State &s = gl();
  // Lighting, normalisation and texture generation act on vertices as they come; the rest on drawing.
  const bool perVertex = cap == kLighting || cap == kNormalize || (cap >= kLight0 && cap < kLight0 + 8) ||
                         (cap >= kTextureGenS && cap <= kTextureGenQ);
  if (!perVertex) flushBatch(s);
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
  }
}

void multiplyCurrent(const float *m) {
  State &s = gl();
  multiply(s.current(), s.current(), m);
}

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

}  // namespace

extern "C" {

void kglEnable(GLenum cap) { setCapability(cap, true); }
void kglDisable(GLenum cap) { setCapability(cap, false); }
GLboolean kglIsEnabled(GLenum cap) {
  State &s = gl();
  if (bool *flag = capability(s, cap)) return *flag;
  return ::glIsEnabled(cap);
}
GLenum kglGetError() {
  changing();
  return ::glGetError();
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
  gl().matrixMode = mode == kProjection ? 1 : mode == kTextureMatrix ? 2 : 0;
}
void kglLoadIdentity() { identity(gl().current()); }
void kglLoadMatrixf(const GLfloat *m) { std::memcpy(gl().current(), m, 16 * sizeof(float)); }
void kglMultMatrixf(const GLfloat *m) { multiplyCurrent(m); }
void kglPushMatrix() {
  State &s = gl();
  auto &stack = s.stacks[s.matrixMode];
  if (stack.size() < 32) stack.push_back(stack.back());
}
void kglPopMatrix() {
  State &s = gl();
  auto &stack = s.stacks[s.matrixMode];
  if (stack.size() > 1) stack.pop_back();
}
void kglTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  Mat m;
  identity(m);
  m[12] = x, m[13] = y, m[14] = z;
  multiplyCurrent(m);
}
void kglScalef(GLfloat x, GLfloat y, GLfloat z) {
  Mat m;
  identity(m);
  m[0] = x, m[5] = y, m[10] = z;
  multiplyCurrent(m);
}
void kglRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  const float radians = angle * static_cast<float>(M_PI) / 180.0f;
  const float s = std::sin(radians), c = std::cos(radians);
  const float length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return;  // no axis: GL leaves the matrix as it is
  x /= length, y /= length, z /= length;
  Mat m;
  identity(m);
  m[0] = x * x * (1 - c) + c, m[4] = x * y * (1 - c) - z * s, m[8] = x * z * (1 - c) + y * s;
  m[1] = y * x * (1 - c) + z * s, m[5] = y * y * (1 - c) + c, m[9] = y * z * (1 - c) - x * s;
  m[2] = x * z * (1 - c) - y * s, m[6] = y * z * (1 - c) + x * s, m[10] = z * z * (1 - c) + c;
  multiplyCurrent(m);
}
void kglOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
  Mat m;
  identity(m);
  m[0] = static_cast<float>(2 / (r - l));
  m[5] = static_cast<float>(2 / (t - b));
  m[10] = static_cast<float>(-2 / (f - n));
  m[12] = static_cast<float>(-(r + l) / (r - l));
  m[13] = static_cast<float>(-(t + b) / (t - b));
  m[14] = static_cast<float>(-(f + n) / (f - n));
  multiplyCurrent(m);
}
void kgluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  const double radians = fovy / 2 * M_PI / 180, deltaZ = zFar - zNear, sine = std::sin(radians);
  if (deltaZ == 0 || sine == 0 || aspect == 0) return;
  const double cotangent = std::cos(radians) / sine;
  Mat m = {0};
  m[0] = static_cast<float>(cotangent / aspect);
  m[5] = static_cast<float>(cotangent);
  m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
  m[11] = -1;
  m[14] = static_cast<float>(-2 * zNear * zFar / deltaZ);
  multiplyCurrent(m);
}
void kgluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                GLdouble uy, GLdouble uz) {
  float forward[3] = {static_cast<float>(cx - ex), static_cast<float>(cy - ey), static_cast<float>(cz - ez)};
  float up[3] = {static_cast<float>(ux), static_cast<float>(uy), static_cast<float>(uz)};
  normalize3(forward);
  float side[3] = {forward[1] * up[2] - forward[2] * up[1], forward[2] * up[0] - forward[0] * up[2],
                   forward[0] * up[1] - forward[1] * up[0]};
  normalize3(side);
  float upright[3] = {side[1] * forward[2] - side[2] * forward[1], side[2] * forward[0] - side[0] * forward[2],
                      side[0] * forward[1] - side[1] * forward[0]};
  Mat m;
  identity(m);
  for (int i = 0; i < 3; ++i) {
    m[i * 4 + 0] = side[i];
    m[i * 4 + 1] = upright[i];
    m[i * 4 + 2] = -forward[i];
  }
  multiplyCurrent(m);
  kglTranslatef(static_cast<float>(-ex), static_cast<float>(-ey), static_cast<float>(-ez));
}

void kglGetFloatv(GLenum pname, GLfloat *out) {
  State &s = gl();
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
  State &s = gl();
  s.primitive = mode;
  s.inBegin = true;
  s.vertices.clear();
}
void kglEnd() {
  State &s = gl();
  if (!s.inBegin) return;
  s.inBegin = false;
  flush(s);
}
void kglVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  if (gl().inBegin) makeVertex(gl(), x, y, z);
}
void kglVertex2i(GLint x, GLint y) { kglVertex3f(static_cast<float>(x), static_cast<float>(y), 0); }
void kglNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  float *n = gl().normal;
  n[0] = x, n[1] = y, n[2] = z;
}
void kglTexCoord2f(GLfloat s, GLfloat t) {
  float *tc = gl().texCoord;
  tc[0] = s, tc[1] = t, tc[2] = 0, tc[3] = 1;
}
void kglColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  float *c = gl().color;
  c[0] = r, c[1] = g, c[2] = b, c[3] = a;
}
void kglColor3f(GLfloat r, GLfloat g, GLfloat b) { kglColor4f(r, g, b, 1); }

void kglLightfv(GLenum which, GLenum pname, const GLfloat *v) {
  if (which < kLight0 || which >= kLight0 + 8) return;
  State &s = gl();
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
    default: break;
  }
}
void kglLightf(GLenum which, GLenum pname, GLfloat value) { kglLightfv(which, pname, &value); }
void kglMaterialfv(GLenum, GLenum pname, const GLfloat *v) {
  Material &m = gl().material;
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
      if (v[0] >= 0 && v[0] <= 128) m.shininess = v[0];  // GL rejects the rest
      break;
    default: break;
  }
}
void kglMaterialf(GLenum face, GLenum pname, GLfloat value) { kglMaterialfv(face, pname, &value); }

void kglTexGeni(GLenum coord, GLenum pname, GLint value) {
  if (coord < kS || coord > kQ || pname != kTextureGenMode) return;
  if (value == kSphereMap && coord > kT) return;  // GL refuses sphere maps for r and q
  gl().texGen[coord - kS].mode = static_cast<GLenum>(value);
}
void kglTexGenfv(GLenum coord, GLenum pname, const GLfloat *v) {
  if (coord < kS || coord > kQ) return;
  State &s = gl();
  TexGen &g = s.texGen[coord - kS];
  if (pname == kObjectPlane) {
    std::memcpy(g.objectPlane, v, 4 * sizeof(float));
  } else if (pname == kEyePlane) {
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
  State &s = gl();
  if (face == GL_FRONT || face == kFrontAndBack) s.polygonMode[0] = mode;
  if (face == GL_BACK || face == kFrontAndBack) s.polygonMode[1] = mode;
}
void kglLineWidth(GLfloat width) {
  if (width > 0) gl().lineWidth = width;
}
void kglPointSize(GLfloat size) {
  if (size > 0 && size != gl().pointSize) changing().pointSize = size;
}
void kglShadeModel(GLenum) {}  // smooth everywhere the intro's pictures depend on it
void kglAlphaFunc(GLenum func, GLclampf ref) {
  State &s = changing();
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
  State &s = gl();
  if (range <= 0) return 0;
  GLuint first = s.nextList;
  s.nextList += static_cast<GLuint>(range);
  return first;
}
void kglDeleteLists(GLuint, GLsizei) {}

void kglGenTextures(GLsizei n, GLuint *names) { ::glGenTextures(n, names); }
void kglDeleteTextures(GLsizei n, const GLuint *names) {
  changing();
  for (GLsizei i = 0; i < n; ++i) gl().textures.erase(names[i]);
  ::glDeleteTextures(n, names);
}
void kglBindTexture(GLenum target, GLuint name) {
  changing().boundTexture = name;
  ::glBindTexture(target, name);
}
void kglTexParameteri(GLenum target, GLenum pname, GLint value) {
  State &s = changing();
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
  State &s = changing();
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
  State &s = changing();
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
