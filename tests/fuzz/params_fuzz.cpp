// libFuzzer: the parameter stream with any text and any field index.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Kandu::cParamStream stream;
  if (size == 0) return 0;
  int index = data[0] % 8;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  stream.loadParams(text.c_str());
  (void)stream.getStringParam(index);
  (void)stream.getIntParam(index);
  (void)stream.getFloatParam(index);
  stream.loadParams(text.c_str());
  for (int i = 0; i < 4; ++i) (void)stream.nextIntParam();
  return 0;
}
