// The web GL layer's state, in three parts as GL itself keeps them apart: the fixed-function state
// (matrices, lights, material, texture generation, switches), the immediate-mode buffer of the
// primitive between glBegin and glEnd, and the batch of finished triangles waiting for WebGL; and
// beside them the shader program the batch is drawn with. Shared by the layer's sections
// (web_gl_vertex.cpp, web_gl_batch.cpp, web_gl.cpp); nothing outside the layer sees it.
#pragma once

#include <GLES2/gl2.h>

#include <cstddef>
#include <map>
#include <vector>

#include "web/gl/web_gl_maths.h"

namespace kandu_webgl {

// The GL 1.x names WebGL's headers do not have.
enum : GLenum {
  kQuads = 0x0007, kQuadStrip = 0x0008,
  kStackOverflow = 0x0503, kStackUnderflow = 0x0504,
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
  kFrontAndBack = 0x0408, kPoint = 0x1B00, kLine = 0x1B01, kFill = 0x1B02,
  kTextureEnv = 0x2300, kTextureEnvMode = 0x2200, kModulate = 0x2100, kDecal = 0x2101, kReplace = 0x1E01,
  kClamp = 0x2900, kDepthComponent = 0x1902, kFlat = 0x1D00, kSmooth = 0x1D01,
};

// A matrix stack of fixed depth, 32 as Mesa's: pushing copies one matrix and allocates nothing.
struct MatrixStack {
  static const int kDepth = 32;
  Mat4 matrices[kDepth];
  int top = 0;
  MatrixStack() { identity(matrices[0]); }
  float *current() { return matrices[top]; }
  const float *current() const { return matrices[top]; }
};

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

struct FixedState {
  MatrixStack stacks[3];  // modelview, projection, texture
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
  // The first error the layer itself found since glGetError last asked (GL keeps only that one).
  GLenum error = GL_NO_ERROR;

  FixedState() {
    lights[0].diffuse[0] = lights[0].diffuse[1] = lights[0].diffuse[2] = 1;
    lights[0].specular[0] = lights[0].specular[1] = lights[0].specular[2] = 1;
    texGen[0].objectPlane[0] = texGen[0].eyePlane[0] = 1;
    texGen[1].objectPlane[1] = texGen[1].eyePlane[1] = 1;
  }
  float *current() { return stacks[matrixMode].current(); }
  const float *modelview() const { return stacks[0].current(); }
  const float *projection() const { return stacks[1].current(); }
  // The inverse of the modelview, worked out again only when the modelview has changed.
  const float *inverseModelview();
  void fail(GLenum code) {
    if (error == GL_NO_ERROR) error = code;
  }

 private:
  Mat4 inverseOf = {0}, inverse = {0};
};

// What a vertex carries to WebGL: clip coordinates, colour, texture coordinates.
struct Vertex {
  float clip[4], color[4], tex[4];
};

// The primitive being built between glBegin and glEnd.
struct ImmediateBuffer {
  GLenum primitive = 0;
  bool inBegin = false;
  std::vector<Vertex> vertices;
};

// Triangles waiting to be drawn: vertices are in clip coordinates already, so primitives keep
// collecting across matrix and lighting changes and are drawn when WebGL state must change.
struct Batch {
  GLenum mode = GL_TRIANGLES;
  bool unculled = false;  // lines and polygon edges, which WebGL must not cull
  std::vector<Vertex> vertices;
};

struct ShaderProgram {
  GLuint program = 0, buffer = 0;
  bool failed = false;  // compiling or linking failed once: said once, nothing drawn
  GLint aClip = -1, aColor = -1, aTex = -1;
  GLint uTexturing = -1, uReplace = -1, uAlphaFunc = -1, uAlphaRef = -1, uPointSize = -1, uSampler = -1;
};

struct Layer {
  FixedState fixed;
  ImmediateBuffer immediate;
  Batch batch;
  ShaderProgram shader;
};

Layer &layer();

// The vertex stage (web_gl_vertex.cpp): one vertex transformed, lit and given its texture
// coordinates, into the immediate-mode buffer.
void addVertex(Layer &l, float x, float y, float z);

// Primitive assembly and batching (web_gl_batch.cpp).
// glEnd: the buffered primitive as triangles, lines as parallelograms, into the batch.
void assemble(Layer &l);
// Draws what the batch holds.
void flushBatch(Layer &l);
// Flushes the batch before a change of the state WebGL draws with; the fixed state to change.
FixedState &changing();

}  // namespace kandu_webgl
