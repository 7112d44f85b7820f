// libFuzzer: the player's timeline parser and the schedule it gives, with any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "player/timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Timeline timeline;
  std::string error;
  if (!parseTimeline(std::string(reinterpret_cast<const char *>(data), size), "fuzz", timeline, error)) return 0;
  int64_t end = timeline.duration();
  for (int64_t t : {int64_t{0}, end / 2, end - 1}) (void)scheduleAt(timeline, t);
  return 0;
}
