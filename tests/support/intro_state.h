// The intro as InitDLL leaves it, for every test that needs it: the first call builds it and
// records its mutable state (nodes, water, cube field, camera, light, the C library's random
// sequence); every later call puts that state back, clears the pulses and the GL switches the
// effects leave on, so that no test sees what another one drew, in any order.
#pragma once

#include <vector>

#include "intro/testbed.h"
#include "tests/support/gl_recorder.h"

namespace GLTest {

Kandu::cTestBed &freshIntro();
// The GL calls of the one InitDLL that built the intro, as the recording layer saw them.
const std::vector<GLCall> &initCalls();

}  // namespace GLTest
