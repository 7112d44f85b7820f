#include "host/params.h"

namespace Kandu {

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
  // The standard extraction stores 0 or the type's limit when it fails (no value, or a number out
  // of range); a failed field keeps its default instead.
  if (!(conversion >> value)) value = fallback;
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
