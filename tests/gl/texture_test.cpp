#include <GL/gl.h>
#include <GL/glext.h>

#include "renderer/extensions.h"
#include "renderer/texture.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/gl_test.h"

using namespace kandu;

using Recorder::count;
using Recorder::named;
using Recorder::names;

namespace {
VorbelRenderer::cTextureObject *checkerTexture(int size) {
  auto *t = VorbelRenderer::newTextureObject();
  t->allocate(size, size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) t->pixel(x, y)[0] = ((x / 8 + y / 8) % 2) ? 255 : 0;
  return t;
}
}  // namespace

TEST(TextureObject, UploadMakesAMipmappedTextureAndLeavesTexturingOff) {
  auto *t = checkerTexture(128);
  EXPECT_EQ(t->textureName, 0u);
  Recorder::start();
  t->upload();
  auto calls = Recorder::stop();
  EXPECT_EQ(names(calls), (std::vector<std::string>{"glEnable", "glGenTextures", "glBindTexture", "glTexEnvi",
                                                    "glTexParameteri", "gluBuild2DMipmaps", "glDisable"}));
  EXPECT_NE(t->textureName, 0u);
  GLint bound, mag, min, env;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  EXPECT_EQ(static_cast<GLuint>(bound), t->textureName);
  EXPECT_EQ(mag, GL_LINEAR);
  EXPECT_EQ(min, GL_NEAREST_MIPMAP_LINEAR);
  EXPECT_EQ(env, GL_MODULATE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint level7 = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &level7);
  EXPECT_EQ(level7, 1);  // the whole chain down to 1 × 1
  std::vector<uint8_t> back(128 * 128 * 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
  EXPECT_EQ(0, memcmp(back.data(), t->pixels, back.size()));
  EXPECT_NO_GL_ERROR();
}

TEST(TextureObject, EveryUploadMakesANewName) {
  auto *t = checkerTexture(16);
  t->upload();
  GLuint first = t->textureName;
  t->upload();
  EXPECT_NE(t->textureName, first);
  EXPECT_TRUE(glIsTexture(first));
  glBindTexture(GL_TEXTURE_2D, 0);
  t->bind();
  GLint bound;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), t->textureName);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  glDisable(GL_TEXTURE_2D);
  EXPECT_NO_GL_ERROR();
}

TEST(MaterialTexture, AppliesAndRemovesTexturing) {
  Vorbel::cMaterialTexture *empty = Vorbel::newMaterialTexture(nullptr);
  Recorder::start();
  empty->apply();
  auto calls = Recorder::stop();
  EXPECT_EQ(count(calls, "glBindTexture"), 0);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  empty->unapply();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  auto *t = checkerTexture(16);
  t->upload();
  Vorbel::cMaterialTexture *textured = Vorbel::newMaterialTexture(t);
  Recorder::start();
  textured->apply();
  calls = Recorder::stop();
  EXPECT_EQ(names(calls), (std::vector<std::string>{"glEnable", "glEnable", "glBindTexture"}));
  Recorder::start();
  textured->unapply();
  calls = Recorder::stop();
  EXPECT_EQ(names(calls), (std::vector<std::string>{"glDisable"}));
  GLint bound;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), t->textureName);  // the binding stays
  EXPECT_NO_GL_ERROR();
}

TEST(RenderTarget, CreatesFramebufferDepthAndColourOnce) {
  resetRenderTargetExtensionProbe();
  Recorder::start();
  cRenderTarget *target = newRenderTarget();
  auto calls = Recorder::stop();
  EXPECT_TRUE(renderTargetExtensionAvailable());
  // The 17 entry points, looked up in table order.
  std::vector<std::string> lookups;
  for (const GLCall &c : calls)
    if (c.name.rfind("eglGetProcAddress:", 0) == 0) lookups.push_back(c.name.substr(18));
  const std::vector<std::string> table = {
      "glIsRenderbufferEXT", "glBindRenderbufferEXT", "glDeleteRenderbuffersEXT", "glGenRenderbuffersEXT",
      "glRenderbufferStorageEXT", "glGetRenderbufferParameterivEXT", "glIsFramebufferEXT", "glBindFramebufferEXT",
      "glDeleteFramebuffersEXT", "glGenFramebuffersEXT", "glCheckFramebufferStatusEXT", "glFramebufferTexture1DEXT",
      "glFramebufferTexture2DEXT", "glFramebufferTexture3DEXT", "glFramebufferRenderbufferEXT",
      "glGetFramebufferAttachmentParameterivEXT", "glGenerateMipmapEXT"};
  EXPECT_EQ(lookups, table);
  std::vector<std::string> creation;
  for (const GLCall &c : calls)
    if (c.name != "glGetString" && c.name.rfind("egl", 0) != 0) creation.push_back(c.name);
  EXPECT_EQ(creation, (std::vector<std::string>{"glGenFramebuffersEXT", "glGenRenderbuffersEXT",
                                                "glBindRenderbufferEXT", "glRenderbufferStorageEXT", "glGenTextures",
                                                "glBindTexture", "glTexImage2D", "glTexParameteri",
                                                "glTexParameteri"}));
  EXPECT_EQ(named(calls, "glRenderbufferStorageEXT")[0].args[1], GL_DEPTH_COMPONENT24);
  EXPECT_EQ(target->width, 1024);
  EXPECT_EQ(target->height, 768);
  EXPECT_NE(target->framebuffer, 0u);  // generated, never bound
  EXPECT_TRUE(KanduGL::glIsRenderbufferEXT(target->renderbuffer));
  GLint w = 0, h = 0, format = 0, min = 0;
  KanduGL::glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, target->renderbuffer);
  KanduGL::glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_WIDTH_EXT, &w);
  EXPECT_EQ(w, 1024);
  glBindTexture(GL_TEXTURE_2D, target->texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  EXPECT_EQ(format, GL_RGB);
  EXPECT_EQ(min, GL_LINEAR);
  // A second target does not probe again.
  Recorder::start();
  newRenderTarget();
  EXPECT_EQ(count(Recorder::stop(), "glGetString"), 0);
  EXPECT_NO_GL_ERROR();
}

TEST(RenderTarget, MissingExtensionLeavesTargetsEmptyAndTellsOnce) {
  resetRenderTargetExtensionProbe();
  Recorder::hideFramebufferExtension(true);
  testing::internal::CaptureStderr();
  Recorder::start();
  cRenderTarget *a = newRenderTarget();
  cRenderTarget *b = newRenderTarget();
  auto calls = Recorder::stop();
  std::string said = testing::internal::GetCapturedStderr();
  Recorder::hideFramebufferExtension(false);
  EXPECT_EQ(a->width, 256);
  EXPECT_EQ(b->height, 256);
  EXPECT_EQ(count(calls, "glGenTextures"), 0);
  for (const GLCall &c : calls) EXPECT_NE(c.name.rfind("eglGetProcAddress:", 0), 0u) << c.name;
  EXPECT_EQ(said, "lol!: Update your drivers!\n");
  EXPECT_NO_GL_ERROR();
}

TEST(Extension, MissingEntryPointStillLoads) {
  Recorder::hideProc("glGenerateMipmapEXT");
  EXPECT_TRUE(loadFramebufferExtension());
  Recorder::hideProc("");
  EXPECT_EQ(KanduGL::glGenerateMipmapEXT, nullptr);
  EXPECT_NE(KanduGL::glGenFramebuffersEXT, nullptr);
}
