#include <gtest/gtest.h>

#include "intro/intro.h"
#include "intro/pointerlist.h"
#include "renderer/texture.h"
#include "tests/support/logging_material.h"

namespace {
struct Named {
  const char *name;
};
}  // namespace

TEST(PointerList, AppendsGrowByOneInOrder) {
  cPointerList list;
  int a, b, c;
  EXPECT_EQ(list.items, nullptr);
  list.append(&a);
  list.append(&b);
  list.append(&c);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.at(0), &a);
  EXPECT_EQ(list.at(1), &b);
  EXPECT_EQ(list.at(2), &c);
  EXPECT_EQ(list.first(), &a);
}

TEST(PointerList, FindByNameComparesNamePointers) {
  static const char kName[] = "same";
  char copy[] = "same";
  Named first{kName}, second{kName}, other{copy};
  cPointerList list;
  EXPECT_EQ(list.findByName(kName), nullptr);
  list.append(&other);
  list.append(&first);
  list.append(&second);
  EXPECT_EQ(list.findByName(kName), &first);
  EXPECT_EQ(list.findByName(copy), &other);
  EXPECT_EQ(list.findByName("nothing"), nullptr);
}

TEST(PointerList, MaterialsSwitchOnAndOffFrontToBack) {
  std::string log;
  LoggingMaterial a(&log, 'a'), b(&log, 'b');
  cPointerList list;
  list.append(&a);
  list.append(&b);
  list.applyAll();
  list.removeAll();
  EXPECT_EQ(log, "+a+b-a-b");
}

TEST(Registries, CreateNamedRecords) {
  cPointerList tracks, lights;
  static const char kTrack[] = "t";
  cKeyframeTrack *t = addTrack(tracks, kTrack);
  EXPECT_EQ(tracks.findByName(kTrack), t);
  EXPECT_EQ(findSceneLight(lights), nullptr);
  cLight *light = addSceneLight(lights);
  EXPECT_EQ(findSceneLight(lights), light);
  EXPECT_STREQ(light->name, "scene1_light");
}

TEST(CurrentObjects, CameraAndLightAreCreatedOnceThenReplaced) {
  cCamera *camera = getCamera();
  EXPECT_EQ(getCamera(), camera);
  cCamera mine;
  setCamera(&mine);
  EXPECT_EQ(getCamera(), &mine);
  cLight *light = getLight();
  EXPECT_EQ(getLight(), light);
  cLight other;
  setLight(&other);
  EXPECT_EQ(getLight(), &other);
  setCamera(nullptr);
  setLight(nullptr);
}

TEST(Light, PositionIsDirectionalAndPresetsFillTheMaterial) {
  cLight light;
  light.setPosition(1, 2, 3);
  cVector3 p = light.getPosition();
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 2);
  EXPECT_EQ(p.z, 3);
  EXPECT_EQ(light.position[3], 0.0f);
  light.selectMaterial();
  EXPECT_EQ(light.material.preset, 2);
  // The four presets as the table gives them: ambient, diffuse, specular (rgb) and shininess.
  const float table[4][10] = {
      {0.2125f, 0.1275f, 0.054f, 0.714f, 0.4284f, 0.18144f, 0.393548f, 0.393548f, 0.166721f, 25.6f},
      {0.24725f, 0.0745f, 0.0745f, 0.75164f, 0.60648f, 0.22648f, 0.628281f, 0.555802f, 0.366065f, 51.2f},
      {0.25f, 0.25f, 0.25f, 0.4f, 0.4f, 0.4f, 0.774597f, 0.774597f, 0.774597f, 76.8f},
      {0.2f, 0.2f, 0.2f, 0.4f, 0.4f, 0.4f, 0.7f, 0.7f, 0.7f, 50.0f}};
  for (int preset = 1; preset <= 4; ++preset) {
    cSurfaceMaterial m;
    m.setPreset(preset);
    const float *row = table[preset - 1];
    const cColor4 colours[3] = {m.ambient, m.diffuse, m.specular};
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(colours[c].r, row[3 * c]) << "preset " << preset << " colour " << c;
      EXPECT_EQ(colours[c].g, row[3 * c + 1]) << "preset " << preset << " colour " << c;
      EXPECT_EQ(colours[c].b, row[3 * c + 2]) << "preset " << preset << " colour " << c;
      EXPECT_EQ(colours[c].a, 1.0f);
    }
    EXPECT_EQ(m.emission.r + m.emission.g + m.emission.b, 0.0f);
    EXPECT_EQ(m.shininess, row[9]) << "preset " << preset;
    EXPECT_EQ(m.preset, preset);
  }
  EXPECT_EQ(light.material.ambient.g, 0.0745f);
  EXPECT_EQ(light.material.shininess, 51.2f);
  light.material.setPreset(0);
  EXPECT_EQ(light.material.preset, 0);
  EXPECT_FLOAT_EQ(light.material.shininess, 51.2f);  // the values stay, apply is off
  light.setAmbient(makeColor(0.1f, 0.2f, 0.3f, 0.9f));
  EXPECT_FLOAT_EQ(light.ambient[2], 0.3f);
}
