// The effect nodes' own arithmetic, without drawing: the water simulation, the morph rings, the
// tower heights, the cube-field layout and the node basics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scenegraph/cubefield.h"
#include "scenegraph/morph.h"
#include "scenegraph/tower.h"
#include "scenegraph/water.h"

using namespace VorbelScenegraph;

namespace {
std::vector<int> gSequence;
size_t gNext = 0;
int drivenRandom() { return gSequence[gNext++ % gSequence.size()]; }

void calm(cWaterMirrorNode &w) {
  for (int k = 0; k < 65 * 65; ++k) w.heights[k] = w.velocities[k] = 0.0f;
}

struct DrivenRandom {
  explicit DrivenRandom(std::vector<int> values) {
    gSequence = std::move(values);
    gNext = 0;
    setWaterRandom(drivenRandom);
  }
  ~DrivenRandom() { setWaterRandom(nullptr); }
};
}  // namespace

TEST(Water, SetUpGivesA65GridWithOneKick) {
  DrivenRandom rnd({11, 21});  // column 10, row 20
  cWaterMirrorNode w;
  EXPECT_EQ(w.gridSize, 65);
  EXPECT_EQ(w.rowStride, 65);
  EXPECT_FLOAT_EQ(w.stepSize, 0.4f);
  EXPECT_EQ(w.damping, 0.994f);
  int kicked = 0;
  for (int k = 0; k < 65 * 65; ++k) {
    EXPECT_EQ(w.heights[k], 0.0f);
    if (w.velocities[k] != 0.0f) ++kicked;
  }
  EXPECT_EQ(kicked, 1);
  EXPECT_EQ(w.velocities[w.index(10, 20)], 1060.0f);
}

TEST(Water, KickSinksByStepTimesVelocityThenSpreadsAndDies) {
  DrivenRandom rnd({11, 21});
  cWaterMirrorNode w;
  w.simulate();
  EXPECT_FLOAT_EQ(w.heights[w.index(10, 20)], -424.0f);
  EXPECT_EQ(w.heights[w.index(11, 20)], 0.0f);
  w.simulate();
  // Step two: the kicked point's velocity was damped to 1060 × 0.994 and pulled by its own height
  // (−424 / 7); a side neighbour feels 4 × 424 / 25 / 7, a diagonal one 424 / 25 / 7; each height
  // then moves by −0.4 × velocity.
  const double v1 = static_cast<float>(1060.0 * 0.994);
  EXPECT_NEAR(w.heights[w.index(10, 20)], -424.0 - 0.4 * (v1 - 424.0 / 7), 1e-3);
  EXPECT_NEAR(w.heights[w.index(11, 20)], -0.4 * (4 * 424.0 / 25 / 7), 1e-5);
  EXPECT_NEAR(w.heights[w.index(10, 19)], -0.4 * (4 * 424.0 / 25 / 7), 1e-5);
  EXPECT_NEAR(w.heights[w.index(11, 21)], -0.4 * (424.0 / 25 / 7), 1e-5);
  EXPECT_EQ(w.heights[w.index(12, 20)], 0.0f);
  EXPECT_NEAR(w.velocities[w.index(11, 20)], 0.994 * (4 * 424.0 / 25 / 7), 1e-4);
  for (int step = 0; step < 3000; ++step) w.simulate();
  float largest = 0;
  for (int k = 0; k < 65 * 65; ++k) largest = std::max(largest, std::fabs(w.heights[k]));
  EXPECT_LT(largest, 1.0f);
}

TEST(Water, KicksInTheBorderBandChangeNothing) {
  DrivenRandom rnd({2, 6});  // column 1, row 5: inside the two-point band
  cWaterMirrorNode w;
  for (int step = 0; step < 20; ++step) w.simulate();
  for (int k = 0; k < 65 * 65; ++k) EXPECT_EQ(w.heights[k], 0.0f);
}

TEST(Water, BorderRowsAndColumnsStayFlat) {
  cWaterMirrorNode w;
  calm(w);
  for (int j = 2; j <= 62; j += 5)
    for (int i = 2; i <= 62; i += 7) w.velocities[w.index(i, j)] = 1060.0f;
  for (int step = 0; step < 50; ++step) w.simulate();
  for (int n = 0; n < 65; ++n)
    for (int b : {0, 1, 63, 64}) {
      EXPECT_EQ(w.heights[w.index(b, n)], 0.0f);
      EXPECT_EQ(w.heights[w.index(n, b)], 0.0f);
    }
}

TEST(Water, KicksBeforeTheFirstPointAreSkipped) {
  // rand() % 65 == 0 gives -1: (column -1, row -1) and (column -1, row 0) fall before the grid.
  DrivenRandom rnd({0, 0, 65, 1, 0, 2});
  cWaterMirrorNode w;  // the set-up's kick: (-1, -1)
  calm(w);
  w.disturb();  // (-1, 0)
  for (int k = 0; k < 65 * 65; ++k) EXPECT_EQ(w.velocities[k], 0.0f);
  w.disturb();  // (-1, 1): lands on the last point of row 0
  EXPECT_EQ(w.velocities[w.index(64, 0)], 1060.0f);
}

TEST(Morph, FirstRingsAreDefinedAndMatchTimeZero) {
  cMorphObject m;
  EXPECT_EQ(m.ready, 1);
  EXPECT_EQ(m.ringCount, 64);
  EXPECT_EQ(m.segmentCount, 16);
  EXPECT_FLOAT_EQ(m.ringTexOffset[0], 0.0f);
  EXPECT_FLOAT_EQ(m.ringRadius[0], 0.8f);
  EXPECT_FLOAT_EQ(m.ringOffsetX[0], 0.0f);
  for (float t : {0.0f, 3.3f, 10.0f}) {
    m.computeRings(t);
    for (int k = 0; k < 64; ++k) {
      EXPECT_GE(m.ringRadius[k], 0.35f - 1e-6f);
      EXPECT_LE(m.ringRadius[k], 1.25f + 1e-6f);
      EXPECT_LE(std::fabs(m.ringOffsetX[k]), 0.55f + 1e-6f);
      EXPECT_LE(std::fabs(m.ringTexOffset[k]), 0.7f + 1e-6f);
    }
  }
}

TEST(Towers, HeightsStayStrictlyBetweenZeroAndSix) {
  for (float t : {0.0f, 0.37f, 1.0f})
    for (int i = 0; i < 30; ++i)
      for (int j = 0; j < 25; ++j) {
        float h = towerHeight(i, j, t);
        EXPECT_GT(h, 0.0f);
        EXPECT_LT(h, 6.0f);
      }
  EXPECT_FLOAT_EQ(towerHeight(0, 0, 0), 5.0f);  // sin 0 + 2 cos 0 + 3
}

TEST(CubeField, PositionsAndColourTracks) {
  cCubeFieldNode *f = newCubeFieldNode();
  EXPECT_EQ(f->cubePositions[0].x, 25.0f);
  EXPECT_EQ(f->cubePositions[0].y, 0.0f);
  EXPECT_NEAR(f->cubePositions[1].x, 21.558, 1e-3);
  EXPECT_NEAR(f->cubePositions[1].y, 22.824, 1e-3);
  EXPECT_NEAR(f->cubePositions[1].z, -23.253, 1e-3);
  for (const cVector3 &p : f->cubePositions) {
    EXPECT_LE(std::fabs(p.x), 25.0f);
    EXPECT_LE(std::fabs(p.z), 25.0f);
  }
  EXPECT_EQ(f->distortion, 0.0f);
  EXPECT_EQ(f->outerColorTrack.keyCount, 2);
  cVector3 outer = evaluate(f->outerColorTrack, 0.6f);
  EXPECT_FLOAT_EQ(outer.z, 0.8f);
  EXPECT_EQ(f->innerColorTrack.name, nullptr);
}

TEST(Nodes, FreshNodeDefaultsAndChildLists) {
  cRootNode root;
  EXPECT_EQ(root.position.x, 0.0f);
  EXPECT_EQ(root.rotationAngle, 0.0f);
  EXPECT_EQ(root.rotationAxis.z, 0.0f);
  EXPECT_EQ(root.enabled, 1);
  EXPECT_EQ(root.shadowed, 0);
  EXPECT_EQ(root.shadow.mapSize, 512.0f);
  EXPECT_EQ(root.color.a, 1.0f);
  static const char kA[] = "a", kB[] = "b";
  char spelledA[] = "a";
  cRootNode a, b, c;
  root.addChild(kA, nullptr);
  EXPECT_EQ(root.firstChild, nullptr);
  root.addChild(kA, &a);
  root.addChild(kB, &b);
  root.addChild(kA, &c);
  EXPECT_EQ(root.findChild(kA), &a);
  EXPECT_EQ(root.findChild(kB), &b);
  EXPECT_EQ(root.findChild(spelledA), nullptr);
  EXPECT_EQ(a.getNext(), &b);
  EXPECT_EQ(b.getNext(), &c);
  EXPECT_STREQ(c.getName(), "a");
}

namespace {
class LoggingNode : public baseNode {
 public:
  LoggingNode(std::string *log, char mark) : log_(log), mark_(mark) {}
  void render(float progress) override {
    *log_ += mark_;
    baseNode::render(progress);
  }

 private:
  std::string *log_;
  char mark_;
};
}  // namespace

TEST(Nodes, ChildrenRenderInInsertionOrderAndDisabledOnesAreSkipped) {
  std::string log;
  cRootNode root;
  LoggingNode a(&log, 'a'), b(&log, 'b'), c(&log, 'c'), d(&log, 'd');
  static const char kA[] = "a", kB[] = "b", kC[] = "c", kD[] = "d";
  root.addChild(kA, &a);
  root.addChild(kB, &b);
  root.addChild(kC, &c);
  b.addChild(kD, &d);
  root.render(0.5f);
  EXPECT_EQ(log, "abdc");
  log.clear();
  b.enabled = 0;  // a disabled node hides its subtree
  root.render(0.5f);
  EXPECT_EQ(log, "ac");
}
