// The web GL layer's primitive assembly and batching: the primitive of one glBegin/glEnd as
// triangles (quads and quad strips split, lines and line-mode polygons as the parallelograms GL
// rasterises for wide aliased lines, culled first as GL culls them), collected into one batch and
// drawn through one small shader when the WebGL state must change.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "web/gl/web_gl_state.h"

namespace kandu_webgl {

Layer &layer() {
  static Layer *state = new Layer();  // lives as long as the page
  return *state;
}

namespace {

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

// A shader that does not compile or a program that does not link is said once on the console
// (with the driver's log) and nothing is drawn, rather than drawing with a broken program.
bool compiled(GLuint program, GLenum type, const char *source) {
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = "";
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "kandu web GL: the %s shader does not compile: %s\n",
                 type == GL_VERTEX_SHADER ? "vertex" : "fragment", log);
  }
  glAttachShader(program, shader);
  glDeleteShader(shader);  // kept while attached
  return ok == GL_TRUE;
}

bool ensureProgram(ShaderProgram &p) {
  if (p.program || p.failed) return !p.failed;
  p.program = glCreateProgram();
  bool ok = compiled(p.program, GL_VERTEX_SHADER, kVertexShader) &&
            compiled(p.program, GL_FRAGMENT_SHADER, kFragmentShader);
  if (ok) {
    glLinkProgram(p.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(p.program, GL_LINK_STATUS, &linked);
    if (!linked) {
      char log[1024] = "";
      glGetProgramInfoLog(p.program, sizeof log, nullptr, log);
      std::fprintf(stderr, "kandu web GL: the shader program does not link: %s\n", log);
      ok = false;
    }
  }
  if (!ok) {
    p.failed = true;
    return false;
  }
  p.aClip = glGetAttribLocation(p.program, "aClip");
  p.aColor = glGetAttribLocation(p.program, "aColor");
  p.aTex = glGetAttribLocation(p.program, "aTex");
  p.uTexturing = glGetUniformLocation(p.program, "uTexturing");
  p.uReplace = glGetUniformLocation(p.program, "uReplace");
  p.uAlphaFunc = glGetUniformLocation(p.program, "uAlphaFunc");
  p.uAlphaRef = glGetUniformLocation(p.program, "uAlphaRef");
  p.uPointSize = glGetUniformLocation(p.program, "uPointSize");
  p.uSampler = glGetUniformLocation(p.program, "uSampler");
  glGenBuffers(1, &p.buffer);
  return true;
}

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// GL textures an incomplete texture as if texturing were off; WebGL would sample black.
bool textureComplete(const FixedState &s) {
  auto it = s.textures.find(s.boundTexture);
  if (it == s.textures.end() || it->second.width <= 0) return false;
  const TextureInfo &t = it->second;
  bool wantsMipmaps = t.minFilter != GL_NEAREST && t.minFilter != GL_LINEAR;
  if (wantsMipmaps && !t.mipmapped) return false;
  return !wantsMipmaps || (isPowerOfTwo(t.width) && isPowerOfTwo(t.height));
}

void draw(Layer &l, GLenum mode, const std::vector<Vertex> &vertices) {
  if (vertices.empty() || !ensureProgram(l.shader)) return;
  const ShaderProgram &p = l.shader;
  const FixedState &s = l.fixed;
  glUseProgram(p.program);
  glBindBuffer(GL_ARRAY_BUFFER, p.buffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
               GL_STREAM_DRAW);
  const GLsizei stride = sizeof(Vertex);
  glEnableVertexAttribArray(static_cast<GLuint>(p.aClip));
  glVertexAttribPointer(static_cast<GLuint>(p.aClip), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, clip)));
  glEnableVertexAttribArray(static_cast<GLuint>(p.aColor));
  glVertexAttribPointer(static_cast<GLuint>(p.aColor), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, color)));
  glEnableVertexAttribArray(static_cast<GLuint>(p.aTex));
  glVertexAttribPointer(static_cast<GLuint>(p.aTex), 4, GL_FLOAT, GL_FALSE, stride,
                        reinterpret_cast<const void *>(offsetof(Vertex, tex)));
  const bool texturing = s.texture2D && textureComplete(s);
  glUniform1i(p.uTexturing, texturing ? 1 : 0);
  glUniform1i(p.uReplace, s.envMode == kReplace ? 1 : 0);
  glUniform1i(p.uAlphaFunc, s.alphaTest ? static_cast<GLint>(s.alphaFunc - GL_NEVER) : 7);
  glUniform1f(p.uAlphaRef, s.alphaRef);
  glUniform1f(p.uPointSize, s.pointSize);
  glUniform1i(p.uSampler, 0);
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertices.size()));
}

// Lines and polygon edges are triangles of their own, which WebGL must not cull.
void queue(Layer &l, GLenum mode, bool unculled, const std::vector<Vertex> &vertices) {
  if (vertices.empty()) return;
  Batch &b = l.batch;
  if (mode != b.mode || unculled != b.unculled) flushBatch(l);
  b.mode = mode;
  b.unculled = unculled;
  b.vertices.insert(b.vertices.end(), vertices.begin(), vertices.end());
}

// Window x, y of a vertex (w > 0).
void windowXY(const FixedState &s, const Vertex &v, float *xy) {
  xy[0] = (v.clip[0] / v.clip[3] + 1) * 0.5f * static_cast<float>(s.viewport[2]) + static_cast<float>(s.viewport[0]);
  xy[1] = (v.clip[1] / v.clip[3] + 1) * 0.5f * static_cast<float>(s.viewport[3]) + static_cast<float>(s.viewport[1]);
}

// A line as GL rasterises a wide aliased one: a parallelogram `width` pixels across along the
// minor axis, its ends square to the major axis.
void addLine(const FixedState &s, const Vertex &a, const Vertex &b, std::vector<Vertex> &out) {
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

void drawPolygons(Layer &l, const std::vector<Polygon> &polygons) {
  const FixedState &s = l.fixed;
  const std::vector<Vertex> &vertices = l.immediate.vertices;
  std::vector<Vertex> filled, edges;
  const bool allFilled = s.polygonMode[0] == kFill && s.polygonMode[1] == kFill;
  for (const auto &polygon : polygons) {
    if (allFilled) {  // WebGL culls filled triangles itself
      for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        filled.push_back(vertices[polygon[0]]);
        filled.push_back(vertices[polygon[i]]);
        filled.push_back(vertices[polygon[i + 1]]);
      }
      continue;
    }
    bool front = true;
    bool known = true;
    float area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
      const Vertex &a = vertices[polygon[i]], &b = vertices[polygon[(i + 1) % polygon.size()]];
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
        addLine(s, vertices[polygon[i]], vertices[polygon[(i + 1) % polygon.size()]], edges);
    } else {
      for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        filled.push_back(vertices[polygon[0]]);
        filled.push_back(vertices[polygon[i]]);
        filled.push_back(vertices[polygon[i + 1]]);
      }
    }
  }
  queue(l, GL_TRIANGLES, false, filled);
  queue(l, GL_TRIANGLES, true, edges);
}

}  // namespace

void assemble(Layer &l) {
  const FixedState &s = l.fixed;
  const std::vector<Vertex> &vertices = l.immediate.vertices;
  const size_t n = vertices.size();
  std::vector<Polygon> polygons;
  std::vector<Vertex> lines;
  switch (l.immediate.primitive) {
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
      for (size_t i = 0; i + 1 < n; i += 2) addLine(s, vertices[i], vertices[i + 1], lines);
      break;
    case GL_LINE_STRIP:
      for (size_t i = 0; i + 1 < n; ++i) addLine(s, vertices[i], vertices[i + 1], lines);
      break;
    case GL_POINTS: queue(l, GL_POINTS, false, vertices); break;
    default: break;
  }
  if (!polygons.empty()) drawPolygons(l, polygons);
  queue(l, GL_TRIANGLES, true, lines);
  l.immediate.vertices.clear();
}

void flushBatch(Layer &l) {
  Batch &b = l.batch;
  if (b.vertices.empty()) return;
  const bool uncull = b.unculled && l.fixed.cullFace;
  if (uncull) ::glDisable(GL_CULL_FACE);
  draw(l, b.mode, b.vertices);
  if (uncull) ::glEnable(GL_CULL_FACE);
  b.vertices.clear();
}

FixedState &changing() {
  Layer &l = layer();
  flushBatch(l);
  return l.fixed;
}

}  // namespace kandu_webgl
