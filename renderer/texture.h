// Texture objects, textured materials and the off-screen render target.
//
// A cTextureObject is a pixel buffer that uploads itself as a mipmapped GL texture; a
// cMaterialTexture switches 2D texturing on with one texture bound (apply) and off (unapply).
#pragma once

#include <cstdint>

#include "texgen/texturedata.h"

namespace VorbelRenderer {

class cTextureObject : public Kandu::cTextureData {
 public:
  virtual void upload();   // a fresh GL texture from the pixels, mipmapped, left bound
  virtual void bind();     // enable GL_TEXTURE_2D and bind textureName
  virtual void prepare();  // nothing; called right before every upload

  uint32_t textureName = 0;
};

cTextureObject *newTextureObject();

}  // namespace VorbelRenderer

namespace Vorbel {

class baseMaterial {
 public:
  virtual void apply() = 0;
  virtual void unapply() = 0;
};

class cMaterialTexture final : public baseMaterial {
 public:
  void apply() override;
  void unapply() override;
  void setTexture(VorbelRenderer::cTextureObject *t) { texture = t; }

  VorbelRenderer::cTextureObject *texture = nullptr;
};

cMaterialTexture *newMaterialTexture(VorbelRenderer::cTextureObject *texture);

}  // namespace Vorbel

// A framebuffer, a depth renderbuffer and a colour texture of 1024 by 768, created once at start-up;
// without the framebuffer extension it stays empty at 256 by 256.
class cRenderTarget {
 public:
  void create();

  uint32_t framebuffer = 0;
  uint32_t renderbuffer = 0;
  uint32_t texture = 0;
  int32_t width = 256;
  int32_t height = 256;
};

cRenderTarget *newRenderTarget();

// Whether the extension check has run, and its result (once per process).
bool renderTargetExtensionProbed();
bool renderTargetExtensionAvailable();

// Forgets the extension check so that the next render target runs it again (for tests).
void resetRenderTargetExtensionProbe();
