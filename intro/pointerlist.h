// cPointerList — a growable array of non-owning pointers.
//
// Used for the intro's registries, the nodes' material lists and the texture stacks. Every append
// grows the block by exactly one entry; entries are never removed. In a named list each entry
// points to a record whose first field is its name, and findByName compares name pointers.
#pragma once

#include <cstddef>
#include <cstdint>

class cPointerList {
 public:
  cPointerList() = default;
  cPointerList(const cPointerList &) = delete;
  cPointerList &operator=(const cPointerList &) = delete;
  ~cPointerList();

  void append(void *p);
  void *findByName(const char *name) const;
  void *first() const { return items[0]; }
  void *at(int32_t i) const { return items[i]; }
  template <typename T> T *get(int32_t i) const { return static_cast<T *>(items[i]); }

  // For lists of Vorbel::baseMaterial: switch every entry on (slot 0), or off (slot 1), front to back.
  void applyAll() const;
  void removeAll() const;

  void **items = nullptr;
  int32_t count = 0;
};
