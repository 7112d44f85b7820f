#include "intro/pointerlist.h"

#include "renderer/texture.h"

cPointerList::~cPointerList() { delete[] items; }

void cPointerList::append(void *p) {
  void **grown = new void *[static_cast<size_t>(count) + 1];
  for (int32_t i = 0; i < count; ++i) grown[i] = items[i];
  grown[count] = p;
  delete[] items;
  items = grown;
  ++count;
}

void *cPointerList::findByName(const char *name) const {
  for (int32_t i = 0; i < count; ++i)
    if (*static_cast<const char *const *>(items[i]) == name) return items[i];
  return nullptr;
}

void cPointerList::applyAll() const {
  for (int32_t i = 0; i < count; ++i) static_cast<Vorbel::baseMaterial *>(items[i])->apply();
}

void cPointerList::removeAll() const {
  for (int32_t i = 0; i < count; ++i) static_cast<Vorbel::baseMaterial *>(items[i])->unapply();
}
