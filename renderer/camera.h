// Camera, light and surface material — the viewing and lighting state of every 3D effect.
//
// The intro keeps one current camera and one current light, each created with its defaults on
// first access. A light is a directional GL_LIGHT0 with a surface material chosen from presets.
#pragma once

#include <cstdint>

#include "intro/types.h"

class cCamera {
 public:
  void setEye(float x, float y, float z) { eye = makeVector(x, y, z); }
  void setLookAt(float x, float y, float z) { lookAt = makeVector(x, y, z); }
  cVector3 getEye() const { return eye; }
  void apply() const;  // gluLookAt(eye, lookAt, up (0, 1, 0)) onto the current matrix

  cVector3 eye;
  cVector3 lookAt;
};

class cSurfaceMaterial {
 public:
  void setPreset(int32_t number);
  void apply() const;  // glMaterial on both faces; nothing while the preset is 0

  int32_t preset = 0;
  cColor4 ambient{0.2f, 0.2f, 0.2f, 1.0f};  // OpenGL's own material defaults until a preset is chosen
  cColor4 diffuse{0.8f, 0.8f, 0.8f, 1.0f};
  cColor4 specular{0.0f, 0.0f, 0.0f, 1.0f};
  cColor4 emission{0.0f, 0.0f, 0.0f, 1.0f};
  float shininess = 0.0f;
};

class cLight {
 public:
  cLight();
  void setPosition(float x, float y, float z);
  cVector3 getPosition() const { return makeVector(position[0], position[1], position[2]); }
  void setAmbient(cColor4 c);
  void setSpecular(cColor4 c);
  void setDiffuse(cColor4 c);
  void selectMaterial() { material.setPreset(2); }
  void switchOn() const;
  void switchOff() const;

  const char *name = nullptr;  // first field: the registry key
  uint8_t enabled = 1;
  float position[4] = {0.0f, 0.0f, 2.0f, 0.0f};
  float spotDirection[3] = {0.0f, 0.0f, -1.0f};
  float ambient[3] = {0.0f, 0.0f, 0.0f};
  float specular[3] = {1.0f, 1.0f, 1.0f};
  float diffuse[3] = {1.0f, 1.0f, 1.0f};
  float spotCutoff = 180.0f;
  cSurfaceMaterial material;
  int32_t lightIndex = 0;
};

cCamera *newCamera();
cCamera *getCamera();
void setCamera(cCamera *camera);
cLight *getLight();
void setLight(cLight *light);
