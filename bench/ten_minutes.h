// The benchmarks' ten minutes of music: a FLAC (44.1 kHz stereo) made once by ffmpeg and kept in
// $TMPDIR/kandu-bench: a chirp with noise over it, which FLAC cannot make small, so that decoding it
// takes real work.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/process.h"

inline const std::string &tenMinutesOfFlac() {
  static const std::string path = [] {
    std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kandu-bench";
    std::string file = dir + "/ten-minutes.flac";
    runProgram({"mkdir", "-p", dir});
    if (runProgram({"test", "-s", file}).status != 0)
      runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "aevalsrc=0.3*sin(2*PI*(200+t)*t)+0.05*(random(0)-0.5)|0.3*sin(2*PI*(300+t)*t):s=44100:d=600",
                  "-c:a", "flac", file});
    return file;
  }();
  return path;
}
