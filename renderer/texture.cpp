#include "renderer/texture.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "renderer/extensions.h"
#include "renderer/renderer.h"

namespace {
bool extensionProbed = false;
bool extensionAvailable = false;
}  // namespace

bool renderTargetExtensionProbed() { return extensionProbed; }
bool renderTargetExtensionAvailable() { return extensionAvailable; }

namespace VorbelRenderer {

// Texels multiply the incoming colour; the minification filter and wrap modes keep GL's defaults.
// Every call makes a new texture name; the old one stays valid.
void cTextureObject::upload() {
  glEnable(GL_TEXTURE_2D);
  glGenTextures(1, &textureName);
  glBindTexture(GL_TEXTURE_2D, textureName);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glDisable(GL_TEXTURE_2D);
}

void cTextureObject::bind() {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textureName);
}

void cTextureObject::prepare() {}

cTextureObject *newTextureObject() { return new cTextureObject(); }

}  // namespace VorbelRenderer

namespace Vorbel {

void cMaterialTexture::apply() {
  getRenderer()->enable(STATE_TEXTURE);
  if (texture) texture->bind();
}

void cMaterialTexture::unapply() { getRenderer()->disable(STATE_TEXTURE); }

cMaterialTexture *newMaterialTexture(VorbelRenderer::cTextureObject *texture) {
  cMaterialTexture *material = new cMaterialTexture();
  material->setTexture(texture);
  return material;
}

}  // namespace Vorbel

// The framebuffer is generated but never bound; nothing renders into it.
void cRenderTarget::create() {
  using namespace KanduGL;
  if (!extensionProbed) {
    extensionAvailable = loadFramebufferExtension();
    extensionProbed = true;
  }
  if (!extensionAvailable || !glGenFramebuffersEXT || !glGenRenderbuffersEXT || !glBindRenderbufferEXT ||
      !glRenderbufferStorageEXT)
    return;
  width = 1024;
  height = 768;
  glGenFramebuffersEXT(1, &framebuffer);
  glGenRenderbuffersEXT(1, &renderbuffer);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, renderbuffer);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

cRenderTarget *newRenderTarget() {
  cRenderTarget *target = new cRenderTarget();
  target->create();
  return target;
}

void resetRenderTargetExtensionProbe() {
  extensionProbed = false;
  extensionAvailable = false;
}
