// The web GL layer's vertex stage: each vertex as the GL 1.x pipeline works it out, on the CPU.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "web/gl/web_gl_state.h"

namespace kandu_webgl {

const float *FixedState::inverseModelview() {
  if (std::memcmp(inverseOf, modelview(), sizeof inverseOf) != 0) {
    std::memcpy(inverseOf, modelview(), sizeof inverseOf);
    invert(inverseOf, inverse);
  }
  return inverse;
}

namespace {

// The fixed-function lighting of one vertex in eye coordinates (GL 1.x, one-sided, infinite viewer).
void light(const FixedState &s, const float *eye, const float *normal, float *out) {
  const Material &m = s.material;
  for (int c = 0; c < 3; ++c) out[c] = m.emission[c] + m.ambient[c] * s.lightModelAmbient[c];
  out[3] = m.diffuse[3];
  for (const Light &l : s.lights) {
    if (!l.on) continue;
    float toLight[3], attenuation = 1;
    if (l.position[3] != 0) {
      for (int c = 0; c < 3; ++c) toLight[c] = l.position[c] / l.position[3] - eye[c] / eye[3];
      float d = std::sqrt(dot3(toLight, toLight));
      attenuation = 1.0f / (l.attenuation[0] + l.attenuation[1] * d + l.attenuation[2] * d * d);
    } else {
      for (int c = 0; c < 3; ++c) toLight[c] = l.position[c];
    }
    normalize3(toLight);
    if (l.spotCutoff != 180) {
      float fromLight[3] = {-toLight[0], -toLight[1], -toLight[2]}, direction[3];
      std::memcpy(direction, l.spotDirection, sizeof direction);
      normalize3(direction);
      float cosine = dot3(fromLight, direction);
      attenuation *= cosine < std::cos(l.spotCutoff * static_cast<float>(M_PI) / 180) ? 0.0f
                                                                                     : std::pow(cosine, l.spotExponent);
    }
    float diffuse = std::max(dot3(normal, toLight), 0.0f);
    float specular = 0;
    if (diffuse > 0) {
      float half[3] = {toLight[0], toLight[1], toLight[2] + 1};
      normalize3(half);
      float nh = std::max(dot3(normal, half), 0.0f);
      specular = m.shininess == 0 ? 1.0f : std::pow(nh, m.shininess);
    }
    for (int c = 0; c < 3; ++c)
      out[c] += attenuation * (m.ambient[c] * l.ambient[c] + diffuse * m.diffuse[c] * l.diffuse[c] +
                               specular * m.specular[c] * l.specular[c]);
  }
}

}  // namespace

void addVertex(Layer &l, float x, float y, float z) {
  FixedState &s = l.fixed;
  const float object[4] = {x, y, z, 1};
  float eye[4];
  transform(s.modelview(), object, eye);
  Vertex v;
  transform(s.projection(), eye, v.clip);
  // The normal in eye coordinates: by the inverse transpose of the modelview, not renormalised
  // unless GL_NORMALIZE is on (a scaled object is lit darker or brighter, as in GL).
  const float *inverse = s.inverseModelview();
  float n[3];
  for (int r = 0; r < 3; ++r)
    n[r] = s.normal[0] * inverse[r * 4 + 0] + s.normal[1] * inverse[r * 4 + 1] + s.normal[2] * inverse[r * 4 + 2];
  if (s.normalize) normalize3(n);
  if (s.lighting)
    light(s, eye, n, v.color);
  else
    std::memcpy(v.color, s.color, sizeof v.color);
  std::memcpy(v.tex, s.texCoord, sizeof v.tex);
  float sphere[2] = {0, 0};
  if ((s.texGen[0].on && s.texGen[0].mode == kSphereMap) || (s.texGen[1].on && s.texGen[1].mode == kSphereMap)) {
    float u[3] = {eye[0], eye[1], eye[2]};
    normalize3(u);
    float nu = dot3(n, u), r[3];
    for (int c = 0; c < 3; ++c) r[c] = u[c] - 2 * n[c] * nu;
    float m = 2 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1) * (r[2] + 1));
    if (m != 0) sphere[0] = r[0] / m + 0.5f, sphere[1] = r[1] / m + 0.5f;
  }
  for (int i = 0; i < 4; ++i) {
    const TexGen &g = s.texGen[i];
    if (!g.on) continue;
    if (g.mode == kSphereMap && i < 2)
      v.tex[i] = sphere[i];
    else if (g.mode == kObjectLinear)
      v.tex[i] = g.objectPlane[0] * x + g.objectPlane[1] * y + g.objectPlane[2] * z + g.objectPlane[3];
    else if (g.mode == kEyeLinear)
      v.tex[i] = g.eyePlane[0] * eye[0] + g.eyePlane[1] * eye[1] + g.eyePlane[2] * eye[2] + g.eyePlane[3] * eye[3];
  }
  l.immediate.vertices.push_back(v);
}

}  // namespace kandu_webgl
