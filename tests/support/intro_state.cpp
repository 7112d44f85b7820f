#include "tests/support/intro_state.h"

#include <GL/gl.h>

#include <cstdlib>
#include <type_traits>
#include <vector>

#include "host/exports.h"
#include "scenegraph/cubefield.h"
#include "renderer/texture.h"
#include "scenegraph/water.h"
#include "tests/support/gl_test.h"

using namespace kandu;

namespace GLTest {
namespace {

struct NodeState {
  VorbelScenegraph::baseNode *node;
  cVector3 position, rotationAxis;
  cColor4 color;
  float rotationAngle;
  uint8_t enabled;
};

struct IntroState {
  std::vector<NodeState> nodes;
  std::vector<float> heights, velocities;
  cCamera *camera = nullptr;
  cCamera cameraValues;
  cLight *light = nullptr;
  std::vector<unsigned char> lightBytes;
};

void collect(VorbelScenegraph::baseNode *node, std::vector<NodeState> &out) {
  for (; node; node = node->next) {
    out.push_back({node, node->position, node->rotationAxis, node->color, node->rotationAngle, node->enabled});
    collect(node->firstChild, out);
  }
}

VorbelScenegraph::cWaterMirrorNode *water(Kandu::cTestBed &bed) {
  return static_cast<VorbelScenegraph::cWaterMirrorNode *>(bed.waterScene->findChild(Kandu::Names::water1));
}

static_assert(std::is_trivially_copyable_v<cLight>, "the light is saved and restored as bytes");

IntroState record(Kandu::cTestBed &bed) {
  IntroState s;
  for (VorbelScenegraph::baseNode *root : {static_cast<VorbelScenegraph::baseNode *>(bed.waterScene),
                                           static_cast<VorbelScenegraph::baseNode *>(bed.towerScene),
                                           static_cast<VorbelScenegraph::baseNode *>(bed.cubeScene),
                                           static_cast<VorbelScenegraph::baseNode *>(bed.towerScene2),
                                           static_cast<VorbelScenegraph::baseNode *>(bed.morphScene)})
    collect(root, s.nodes);
  VorbelScenegraph::cWaterMirrorNode *w = water(bed);
  size_t n = static_cast<size_t>(w->gridSize) * w->gridSize;
  s.heights.assign(w->heights, w->heights + n);
  s.velocities.assign(w->velocities, w->velocities + n);
  s.camera = getCamera();
  s.cameraValues.eye = s.camera->eye;
  s.cameraValues.lookAt = s.camera->lookAt;
  s.light = getLight();
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(s.light);
  s.lightBytes.assign(bytes, bytes + sizeof(cLight));
  return s;
}

}  // namespace

std::vector<GLCall> gInitCalls;

const std::vector<GLCall> &initCalls() {
  freshIntro();
  return gInitCalls;
}

Kandu::cTestBed &freshIntro() {
  static bool built = false;
  static IntroState state;
  // init draws two numbers from the C library's sequence (the water's first kick) at seed 1.
  std::srand(1);
  if (!built) {
    setClock(0);
    resetRenderTargetExtensionProbe();  // a test may have hidden the extension and left its answer
    Recorder::start();
    InitDLL(0);
    gInitCalls = Recorder::stop();
    getRenderer();
    state = record(Kandu::theIntro());
    built = true;
  } else {
    std::rand();
    std::rand();
  }
  Kandu::cTestBed &bed = Kandu::theIntro();
  for (const NodeState &n : state.nodes) {
    n.node->position = n.position;
    n.node->rotationAxis = n.rotationAxis;
    n.node->color = n.color;
    n.node->rotationAngle = n.rotationAngle;
    n.node->enabled = n.enabled;
  }
  VorbelScenegraph::cWaterMirrorNode *w = water(bed);
  std::copy(state.heights.begin(), state.heights.end(), w->heights);
  std::copy(state.velocities.begin(), state.velocities.end(), w->velocities);
  VorbelScenegraph::setWaterRandom(nullptr);
  bed.cubeField->distortion = 0.0f;
  setCamera(state.camera);
  state.camera->eye = state.cameraValues.eye;
  state.camera->lookAt = state.cameraValues.lookAt;
  setLight(state.light);
  std::copy(state.lightBytes.begin(), state.lightBytes.end(), reinterpret_cast<unsigned char *>(state.light));
  Kandu::pulses() = Kandu::Pulses{};
  setClock(0);
  for (GLenum cap : {GL_LIGHTING, GL_LIGHT0, GL_BLEND, GL_CULL_FACE, GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
    glDisable(cap);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor4f(1, 1, 1, 1);
  return bed;
}

}  // namespace GLTest
