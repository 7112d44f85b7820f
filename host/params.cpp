#include "host/params.h"

#include <cmath>
#include <limits>

namespace Kandu {

int32_t truncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

void cParamStream::loadParams(const char *text) {
  input.str(std::string());
  input.clear();
  if (text) input << text;
}

void cParamStream::seekParam(int index) {
  input.clear();
  input.seekg(0);
  for (int i = 0; i < index && input; ++i) {
    std::string skipped;
    std::getline(input, skipped, ',');
  }
}

void cParamStream::nextField() {
  field.clear();
  if (!std::getline(input, field, ',')) field.clear();
}

template <typename T> T cParamStream::convertField(T fallback) {
  T value = fallback;
  conversion << field;
  conversion >> value;  // leaves the default on a field without a value, saturates on overflow
  conversion.str(std::string());
  conversion.clear();
  return value;
}

std::string cParamStream::getStringParam(int index) {
  seekParam(index);
  nextField();
  return convertField<std::string>(std::string());
}

int32_t cParamStream::getIntParam(int index) {
  seekParam(index);
  nextField();
  return convertField<int32_t>(0);
}

float cParamStream::getFloatParam(int index) {
  seekParam(index);
  nextField();
  return convertField<float>(0.0f);
}

int32_t cParamStream::nextIntParam() {
  nextField();
  return convertField<int32_t>(0);
}

}  // namespace Kandu
