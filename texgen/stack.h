// The texture stack: four generator layers composited, layer over layer, into a result texture.
#pragma once

#include <cstdint>

#include "intro/pointerlist.h"
#include "renderer/texture.h"
#include "texgen/texturedata.h"

enum LayerBlendMode : int32_t {
  LAYER_COPY = 1,
  LAYER_MIX = 2,
  LAYER_PRODUCT = 3,
  LAYER_MASK = 4,
};

struct cTextureLayer {
  cTextureLayer();

  int32_t amount = 100;  // percent
  int32_t blendMode = LAYER_MIX;
  VorbelRenderer::cTextureObject *texture = nullptr;
  KanduBase::cGenerator *generator = nullptr;
  KanduBase::cGenerator **filters = nullptr;
  uint32_t filterCount = 0;
};

struct cTextureStack {
  cTextureLayer layers[4];
  cTextureLayer result;
  const char *name = nullptr;
};

void createTextureStack(cPointerList &stacks);
cTextureLayer *layerAt(cTextureStack *stack, int32_t index);
void setLayerGenerator(cTextureLayer *layer, int32_t type);
void generateLayer(cTextureLayer *layer);
void buildTextureStack(cTextureStack *stack);
void blendLayer(const Kandu::cTextureData &source, Kandu::cTextureData &destination, int32_t mode, int32_t amount);
