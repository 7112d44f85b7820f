// Parameter stream — the comma-separated text every export receives.
//
// Field 0 is the text before the first comma, field i the text after the i-th comma. Each read
// converts one field to a word, an integer or a float, skipping leading blanks and converting the
// longest valid prefix; a missing or unreadable field reads as "", 0 or 0.0. Integers that do not
// fit saturate at the 32-bit limits.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

namespace Kandu {

class cParamStream {
 public:
  void loadParams(const char *text);
  void seekParam(int index);
  std::string getStringParam(int index);
  int32_t getIntParam(int index);
  float getFloatParam(int index);
  int32_t nextIntParam();

 private:
  void nextField();
  template <typename T> T convertField(T fallback);

  std::stringstream input{std::ios::in | std::ios::out};
  std::string field;
  std::stringstream conversion{std::ios::in | std::ios::out};
};

// Float to 32-bit integer, truncating toward zero; NaN gives 0 and values beyond the range
// saturate, so that no parameter text can make the conversion undefined.
int32_t truncToInt(double value);

}  // namespace Kandu
