// The intro as InitDLL leaves it, for every test that needs it: the first call builds it and
// records its mutable state (nodes, water, cube field, camera, light, the C library's random
// sequence); every later call puts that state back, clears the pulses and the GL switches the
// effects leave on, so that no test sees what another one drew, in any order.
#pragma once

#include "intro/testbed.h"

namespace GLTest {

Kandu::cTestBed &freshIntro();
// Whether GL_LIGHTING or GL_LIGHT0 was on right after the one InitDLL that built the intro.
bool lightingAfterInit();

}  // namespace GLTest
