// Hooks of the native stand-in for the web page's platform (tests only).
#pragma once

#include <cstdint>

void setWebLayerHostTime(uint32_t ms);
// Starts the water's random sequence over, as in a fresh page.
void reseedWebLayerRandom();
