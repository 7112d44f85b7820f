#include "tests/support/gl_test.h"

#include <GL/glu.h>

#include <cstdlib>
#include <iostream>

#include "player/headless.h"
#include "player/readback.h"

using namespace kandu;

namespace {
uint32_t gClock = 0;

class HeadlessEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(context_.create(GLTest::kWidth, GLTest::kHeight, why)) << why;
    std::string renderer = context_.renderer();
    std::cout << "[ GL ] running on " << renderer << " (" << glGetString(GL_VERSION) << ")" << std::endl;
    ASSERT_NE(renderer.find("llvmpipe"), std::string::npos) << "the GL tests expect Mesa's llvmpipe";
  }
  void TearDown() override { context_.release(); }

 private:
  HeadlessContext context_;
};
}  // namespace

// The plug-in's millisecond clock reads this when the host defines it; the tests drive it.
extern "C" __attribute__((visibility("default"))) uint32_t kandu_host_time_ms(void) { return gClock; }

namespace GLTest {

void setClock(uint32_t ms) { gClock = ms; }

void resetView() {
  glViewport(0, 0, kWidth, kHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(kWidth) / kHeight, 0.5, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0, 0, 0, 1);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Image grab() { return readFramebuffer(kWidth, kHeight); }

void keep(const Image &image, const std::string &name) {
  std::string ignored;  // pictures kept for looking at, not part of the test
  if (const char *dir = std::getenv("KANDU_TEST_PICTURES")) writePng(std::string(dir) + "/" + name + ".png", image, ignored);
}

int modelviewDepth() {
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  return depth;
}

}  // namespace GLTest

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new HeadlessEnvironment);
  return RUN_ALL_TESTS();
}
