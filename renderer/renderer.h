// cRenderer — the one renderer object, a thin immediate-mode layer over fixed-function OpenGL.
//
// Fetch it with getRenderer() right before use. Small enumerations select GL state so that
// callers never pass GL enumerants: enable(STATE_CULL), setBlendMode(BLEND_ADD_ALPHA),
// primitiveType = PRIM_QUADS; begin(); vertex(...); end(). Each member is one or a few GL calls.
#pragma once

#include <cstdint>

enum RenderState : int32_t {
  STATE_TEXTURE = 0,
  STATE_ORTHO = 3,
  STATE_PERSPECTIVE = 4,
  STATE_WIREFRAME = 5,
  STATE_CULL = 6,
};

enum BlendMode : int32_t {
  BLEND_ALPHA = 0,
  BLEND_ADD_COLOR = 1,
  BLEND_ADD_ALPHA = 2,
};

enum PrimitiveType : int32_t {
  PRIM_TRIANGLES = 0,
  PRIM_POINTS = 1,
  PRIM_QUADS = 2,
  PRIM_QUAD_STRIP = 3,
  PRIM_LINES = 4,
  PRIM_LINE_STRIP = 5,
};

// A bitmap font: 96 display lists, one per character code 32..127, built from an installed font.
class cFont {
 public:
  cFont() = default;
  cFont(const cFont &) = delete;
  cFont &operator=(const cFont &) = delete;
  ~cFont();

  void create(const char *face, int32_t height, uint8_t italic, uint8_t bold);

  const char *name = nullptr;  // first field: the registry key
  void *deviceContext = nullptr;
  const char *faceName = nullptr;
  uint32_t listBase = 0;
  uint32_t secondListBase = 0;
  uint8_t created = 0;
  int32_t height = 0;
};

cFont *newFont(const char *name, int32_t height, uint8_t bold, uint8_t italic);

class cRenderer {
 public:
  // State switches, colours, blending and transforms.
  void enable(int32_t state);
  void disable(int32_t state);
  void setColor(float r, float g, float b, float a);
  void setClearColor(float r, float g, float b, float a);
  void setBlendMode(int32_t mode);
  void disableBlend();
  void translate(float x, float y, float z);
  void rotate(float angle, float x, float y, float z);
  void resetTexGen();
  void drawQuad2D(float x, float y, float width, float height);

  // Immediate-mode primitives.
  void begin();
  void end();
  void vertex(float x, float y, float z);
  void normal(float x, float y, float z);
  void texCoord(float s, float t);
  void scale(float x, float y, float z);
  void setLineWidth(float width);
  void drawCube();

  cFont defaultFont;
  int32_t primitiveType = PRIM_QUADS;
};

// The renderer, created on first use (its default font needs a current GL context).
cRenderer *getRenderer();
