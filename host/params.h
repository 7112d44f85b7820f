// Parameter stream — the comma-separated text every export receives.
//
// Field 0 is the text before the first comma, field i the text after the i-th comma. Each read
// converts one field to a word, an integer or a float with the standard formatted extraction:
// leading blanks are skipped and the conversion stops at the first character that cannot continue
// the value, so "12.7" reads as the integer 12 and "-3e2x" as the float -300. A field that is
// missing, does not start with a value, ends inside one ("1e", "1.5e", "5e+") or holds a number out
// of the type's range reads as its default: "", 0 or 0.0.
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

}  // namespace Kandu
