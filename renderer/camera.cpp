#include "renderer/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {
cCamera *gCamera = nullptr;
cLight *gLight = nullptr;

struct Preset {
  float ambient[3], diffuse[3], specular[3], shininess;
};

const Preset kPresets[] = {
    {{0.2125f, 0.1275f, 0.054f}, {0.714f, 0.4284f, 0.18144f}, {0.393548f, 0.393548f, 0.166721f}, 25.6f},
    {{0.24725f, 0.0745f, 0.0745f}, {0.75164f, 0.60648f, 0.22648f}, {0.628281f, 0.555802f, 0.366065f}, 51.2f},
    {{0.25f, 0.25f, 0.25f}, {0.4f, 0.4f, 0.4f}, {0.774597f, 0.774597f, 0.774597f}, 76.8f},
    {{0.2f, 0.2f, 0.2f}, {0.4f, 0.4f, 0.4f}, {0.7f, 0.7f, 0.7f}, 50.0f},
};

void sendColor(GLenum light, GLenum pname, const float rgb[3]) {
  const GLfloat rgba[4] = {rgb[0], rgb[1], rgb[2], 1.0f};
  glLightfv(light, pname, rgba);
}
}  // namespace

void cCamera::apply() const {
  gluLookAt(eye.x, eye.y, eye.z, lookAt.x, lookAt.y, lookAt.z, 0.0, 1.0, 0.0);
}

// Presets 1 to 4 fill the reflectances; 0 turns the material off, and other numbers only store the
// number, as 0 does.
void cSurfaceMaterial::setPreset(int32_t number) {
  if (number >= 1 && number <= 4) {
    const Preset &p = kPresets[number - 1];
    ambient = makeColor(p.ambient[0], p.ambient[1], p.ambient[2], 1.0f);
    diffuse = makeColor(p.diffuse[0], p.diffuse[1], p.diffuse[2], 1.0f);
    specular = makeColor(p.specular[0], p.specular[1], p.specular[2], 1.0f);
    emission = makeColor(0.0f, 0.0f, 0.0f, 1.0f);
    shininess = p.shininess;
  }
  preset = number;
}

void cSurfaceMaterial::apply() const {
  if (preset == 0) return;
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &ambient.r);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &diffuse.r);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &specular.r);
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &emission.r);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
}

cLight::cLight() { material.setPreset(0); }

void cLight::setPosition(float x, float y, float z) {
  position[0] = x;
  position[1] = y;
  position[2] = z;
  position[3] = 0.0f;
}

void cLight::setAmbient(cColor4 c) {
  ambient[0] = c.r, ambient[1] = c.g, ambient[2] = c.b;
}
void cLight::setSpecular(cColor4 c) {
  specular[0] = c.r, specular[1] = c.g, specular[2] = c.b;
}
void cLight::setDiffuse(cColor4 c) {
  diffuse[0] = c.r, diffuse[1] = c.g, diffuse[2] = c.b;
}

// The position goes through the modelview matrix current now, so callers switch the light on after
// the camera is applied.
void cLight::switchOn() const {
  if (!enabled) return;
  GLenum light = GL_LIGHT0 + static_cast<GLenum>(lightIndex);
  glEnable(GL_LIGHTING);
  glEnable(light);
  glLightf(light, GL_SPOT_CUTOFF, spotCutoff);
  glLightfv(light, GL_SPOT_DIRECTION, spotDirection);
  glLightfv(light, GL_POSITION, position);
  sendColor(light, GL_DIFFUSE, diffuse);
  sendColor(light, GL_AMBIENT, ambient);
  sendColor(light, GL_SPECULAR, specular);
  material.apply();
}

void cLight::switchOff() const {
  if (!enabled) return;
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0 + static_cast<GLenum>(lightIndex));
}

cCamera *newCamera() { return new cCamera(); }

cCamera *getCamera() {
  if (!gCamera) gCamera = new cCamera();
  return gCamera;
}
void setCamera(cCamera *camera) { gCamera = camera; }

cLight *getLight() {
  if (!gLight) gLight = new cLight();
  return gLight;
}
void setLight(cLight *light) { gLight = light; }
