// The headless GL test bed: one EGL context on Mesa's surfaceless platform (llvmpipe), a
// 1024 × 768 pbuffer, made current before the first test; helpers to look at what was drawn.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "media/image.h"
#include "tests/support/pixels.h"

using kandu::Image;

namespace GLTest {

const int kWidth = 1024;
const int kHeight = 768;

// Resets the state the tests rely on: viewport, 45° projection, identity modelview, cleared.
void resetView();
Image grab();
// Writes the picture under $KANDU_TEST_PICTURES (when set) for looking at it.
void keep(const Image &image, const std::string &name);
int modelviewDepth();

// The plug-in's clock as the tests drive it.
void setClock(uint32_t ms);

}  // namespace GLTest

#define EXPECT_NO_GL_ERROR() EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR))
