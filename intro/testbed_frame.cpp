// One frame of one effect. The host clears the screen and resets the modelview between calls; the
// frame sets what its effect needs, draws one scene and leaves the rest to the next call.
#include <GL/gl.h>

#include "host/effects.h"
#include "intro/testbed.h"

namespace Kandu {

Pulses &pulses() {
  static Pulses p;
  return p;
}

namespace {
float decay(float pulse, float progress, double rate) {
  return pulse > 0.0f ? static_cast<float>(pulse - static_cast<double>(progress) * rate) : 0.0f;
}
}  // namespace

void cTestBed::frame(int32_t, int32_t, const char *effect, float progress) {
  using namespace VorbelScenegraph;
  if (!initialised()) return;  // nothing to draw before InitDLL built the scenes

  Pulses &pulse = pulses();
  pulse.light = decay(pulse.light, progress, 0.6);
  pulse.rotate = decay(pulse.rotate, progress, 0.7);
  // The view is applied before the effect writes the camera, so the camera lags its effect by one
  // call; with a fixed camera that shows only on an effect's first frame.
  cCamera *camera = getCamera();
  cLight *light = getLight();
  cRenderer *r = getRenderer();
  camera->apply();

  if (effect == kEffectWaterThing) {
    r->setClearColor(0, 0, 0, 1);
    r->disable(STATE_CULL);
    camera->setLookAt(0, 0, 0);
    camera->setEye(0, 10, -3);
    cVector3 c = evaluate(*track(Names::waterColors), progress);
    waterScene->findChild(Names::water1)->color = makeColor(c.x, c.y, c.z, 1);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    waterScene->render(progress);
    r->resetTexGen();
  }

  if (effect == kEffectJumpingBars) {
    towerScene->findChild(Names::tower)->setRotation(pulse.rotate, 0, 1, 0);
    r->setClearColor(0, 0, 0, 1);
    r->resetTexGen();
    towerScene->findChild(Names::tower)->setPosition(-16, 0, -4);
    r->setColor(1, 1, 1, 1);
    light->setPosition(0, 8, -3);
    r->setBlendMode(BLEND_ADD_ALPHA);
    r->enable(STATE_CULL);
    light->switchOn();
    camera->setEye(0, static_cast<float>(40.0 - pulse.rotate), -20);
    cVector3 look = evaluate(*track(Names::camLook2), progress);
    camera->setLookAt(look.x, look.y, look.z);
    r->scale(3, 3, 3);
    towerScene->render(progress);
    light->switchOff();
    r->disable(STATE_CULL);
    r->disableBlend();
  }

  if (effect == kEffectJumpingBars2) {
    r->setClearColor(0, 0, 0, 1);
    r->resetTexGen();
    towerScene->findChild(Names::tower)->setPosition(-35, 0, -4);  // keeps the bars' last rotation
    r->setColor(1, 1, 1, 1);
    light->setPosition(0, 10, -3);
    r->setBlendMode(BLEND_ADD_ALPHA);
    r->enable(STATE_CULL);
    light->switchOn();
    camera->setEye(10, static_cast<float>(static_cast<double>(pulse.light) + 5.0), -40);
    camera->setLookAt(-30, 0, 0);
    r->scale(3, 3, 3);
    towerScene->render(progress);
    light->switchOff();
    r->disable(STATE_CULL);
    r->disableBlend();
  }

  if (effect == kEffectCubeThing) {
    r->setClearColor(0, 0, 0, 1);
    camera->setEye(0, 0, -10);
    camera->setLookAt(0, 0, 0);
    r->enable(STATE_CULL);
    cubeScene->findChild(Names::cube1)->setRotation(static_cast<float>(static_cast<double>(progress) * 1000.0), 1, 1,
                                                    0.7f);
    cubeScene->render(progress);
    r->disable(STATE_CULL);
  }

  if (effect == kEffectMorph) {
    r->setClearColor(0, 0, 0, 1);
    camera->setEye(0, 0, -10);
    camera->setLookAt(0, 0, 0);
    r->translate(-2, -2.5f, -4);
    morphScene->render(progress);
  }

  if (effect == kEffectCubeField) {
    r->setClearColor(0, 0, 0, 1);
    cVector3 eye = evaluate(*track(Names::fieldCam), progress);
    camera->setEye(eye.x, eye.y, eye.z);
    camera->setLookAt(0, 0, 0);
    cubeField->render(progress);
  }

  // A new kick takes effect only once the previous one has died out.
  if (effect == kEffectDistort && cubeField->distortion == 0.0f) cubeField->distortion = 40.0f;

  if (effect == kEffectLight) pulse.light = 8.0f;

  if (effect == kEffectRotate) pulse.rotate = 8.0f;

  // Fade to black across the block, over whatever the earlier blocks of the frame drew.
  if (effect == kEffectFade) {
    r->setBlendMode(BLEND_ALPHA);
    float alpha = evaluateScalar(*track(Names::zeroOne), progress);
    r->setColor(0, 0, 0, alpha);
    r->drawQuad2D(0, 0, 1024, 768);
    r->disableBlend();
  }
}

}  // namespace Kandu
