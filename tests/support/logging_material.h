// A material that writes "+tag" when switched on and "-tag" when switched off, to check the order
// in which lists and nodes apply their materials.
#pragma once

#include <string>

#include "renderer/texture.h"

class LoggingMaterial : public Vorbel::baseMaterial {
 public:
  LoggingMaterial(std::string *log, char tag) : log_(log), tag_(tag) {}
  void apply() override { *log_ += std::string("+") + tag_; }
  void unapply() override { *log_ += std::string("-") + tag_; }

 private:
  std::string *log_;
  char tag_;
};
