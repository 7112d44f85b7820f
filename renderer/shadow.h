// Shadow-mapping passes for a node's subtree.
//
// A shadowed node draws its children three times: depth only from the light, dark from the camera,
// then lit where the light's depth map says the surface is visible. The four steps below set up
// those passes; cShadowMapState lives inside every node and keeps the depth texture and matrices.
#pragma once

#include <cstdint>

#include "intro/types.h"

// 16 floats in OpenGL's column-major order.
struct cMatrix4 {
  float m[16];

  cMatrix4() { makeIdentity(); }
  void makeIdentity();
  void set(const float values[16]);
  float &operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
};

// a × b: the matrix GL holds after loading a and multiplying by b.
cMatrix4 multiply(const cMatrix4 &a, const cMatrix4 &b);

// Maps clip coordinates in [-1, 1] to texture coordinates in [0, 1].
const cMatrix4 &shadowBiasMatrix();

struct cShadowMapState {
  cVector3 lightPosition;
  cVector3 cameraPosition;
  float mapSize = 512.0f;
  uint8_t textureCreated = 0;
  uint32_t depthTexture = 0;
  cMatrix4 lightProjection;
  cMatrix4 lightView;
  cMatrix4 cameraProjection;
  cMatrix4 cameraView;
};

void prepareShadowMap(cShadowMapState *s);
void beginShadowDepthPass(cShadowMapState *s);
void endShadowDepthPass(cShadowMapState *s);
void beginShadowProjection(cShadowMapState *s);
