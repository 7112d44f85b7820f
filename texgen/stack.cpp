#include "texgen/stack.h"

#include <cmath>

#include "intro/types.h"

namespace {
const char kStackName[] = "tex1";
const int32_t kStackSize = 128;

uint8_t toByte(double value) {
  int32_t v = Kandu::truncToInt(value);
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
}  // namespace

cTextureLayer::cTextureLayer()
    : texture(VorbelRenderer::newTextureObject()), generator(new KanduBase::cGenerator()) {}

void createTextureStack(cPointerList &stacks) {
  cTextureStack *stack = new cTextureStack();
  for (cTextureLayer &layer : stack->layers) layer.texture->allocate(kStackSize, kStackSize);
  stack->result.texture->allocate(kStackSize, kStackSize);
  stack->name = kStackName;
  stacks.append(stack);
}

cTextureLayer *layerAt(cTextureStack *stack, int32_t index) { return &stack->layers[index]; }

// The replaced generator is kept alive: it may still be shared by nobody, but freeing it through
// its base would need a virtual destructor the generators do not have.
void setLayerGenerator(cTextureLayer *layer, int32_t type) {
  if (type == 2) {
    Kandu::cSinPlasmaGenerator *plasma = new Kandu::cSinPlasmaGenerator();
    plasma->getIntensity() = 256.0f;
    plasma->getFreqX() = 100.0f;
    plasma->getFreqY() = 100.0f;
    layer->generator = plasma;
  } else if (type == 5) {
    Kandu::cPerlinNoiseGenerator *noise = new Kandu::cPerlinNoiseGenerator();
    noise->seed = 2339.0f;
    noise->noiseScale = 2.0f;
    noise->rowStride = 1000.0f;
    layer->generator = noise;
  } else {
    return;
  }
  layer->generator->generate(*layer->texture);
}

void generateLayer(cTextureLayer *layer) {
  if (layer->generator) layer->generator->generate(*layer->texture);
  for (uint32_t i = 0; i < layer->filterCount; ++i) layer->filters[i]->generate(*layer->texture);
  layer->texture->prepare();
  layer->texture->upload();
}

void buildTextureStack(cTextureStack *stack) {
  for (cTextureLayer &layer : stack->layers) generateLayer(&layer);
  stack->result.texture->copyFrom(*stack->layers[0].texture);
  for (int k = 1; k < 4; ++k)
    blendLayer(*stack->layers[k].texture, *stack->result.texture, stack->layers[k].blendMode, stack->layers[k].amount);
  stack->result.texture->prepare();
  stack->result.texture->upload();
}

// a and b are single-precision, so a mix of 90 % gives 189 for 200 over 100, not 190. Negative
// amounts, which nothing uses, clamp the mixed value to a byte.
void blendLayer(const Kandu::cTextureData &source, Kandu::cTextureData &destination, int32_t mode, int32_t amount) {
  if (mode == LAYER_COPY) {
    destination.copyFrom(source);
    return;
  }
  if (amount >= 100) amount = 100;
  float a = static_cast<float>(amount / 100.0);
  float b = static_cast<float>(1.0 - a);
  int64_t bytes = static_cast<int64_t>(source.width) * source.height * 4;
  int64_t room = static_cast<int64_t>(destination.width) * destination.height * 4;
  if (bytes > room) bytes = room;  // never write past a smaller destination
  for (int64_t i = 0; i < bytes; ++i) {
    double s = source.pixels[i], d = destination.pixels[i];
    switch (mode) {
      case LAYER_MIX: destination.pixels[i] = toByte(s * a + d * b); break;
      case LAYER_PRODUCT: destination.pixels[i] = toByte((d * b) * (s * a)); break;
      case LAYER_MASK: destination.pixels[i] = static_cast<uint8_t>(destination.pixels[i] * (source.pixels[i] / 255)); break;
      default: return;
    }
  }
}
