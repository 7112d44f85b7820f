#include "tests/support/gl_recorder.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <dlfcn.h>

#include <cstring>
#include <initializer_list>

namespace {
bool gRecording = false;
bool gHideFbo = false;
std::string gHiddenProc;
int gInsideGlu = 0;
std::vector<GLCall> gCalls;

void record(const char *name, std::initializer_list<double> args) {
  if (gRecording && gInsideGlu == 0) gCalls.push_back({name, std::vector<double>(args)});
}
void recordArray(const char *name, std::vector<double> args) {
  if (gRecording && gInsideGlu == 0) gCalls.push_back({name, std::move(args)});
}

// The driver's own entry point: the next definition after this binary's, else straight from the
// libraries (the linker may have dropped a library whose every symbol this binary defines).
void *real(const char *name) {
  if (void *p = dlsym(RTLD_NEXT, name)) return p;
  for (const char *lib : {"libGLU.so.1", "libGL.so.1", "libOpenGL.so.0", "libEGL.so.1"})
    if (void *handle = dlopen(lib, RTLD_NOW | RTLD_GLOBAL))
      if (void *p = dlsym(handle, name)) return p;
  return nullptr;
}

int paramCount(GLenum pname) {
  switch (pname) {
    case GL_SPOT_DIRECTION: return 3;
    case GL_SHININESS: case GL_SPOT_CUTOFF: case GL_SPOT_EXPONENT: return 1;
    default: return 4;
  }
}
}  // namespace

#define FORWARD(ret, name, sig, call)                                 \
  static auto real_##name = reinterpret_cast<ret(*) sig>(real(#name)); \
  return real_##name call;

#define WRAP(ret, name, sig, call, ...) \
  extern "C" ret name sig {             \
    record(#name, {__VA_ARGS__});       \
    FORWARD(ret, name, sig, call)       \
  }

WRAP(void, glBegin, (GLenum m), (m), double(m))
WRAP(void, glEnd, (), (), )
WRAP(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), x, y, z)
WRAP(void, glVertex2i, (GLint x, GLint y), (x, y), double(x), double(y))
WRAP(void, glNormal3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), x, y, z)
WRAP(void, glTexCoord2f, (GLfloat s, GLfloat t), (s, t), s, t)
WRAP(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a), r, g, b, a)
WRAP(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b), r, g, b)
WRAP(void, glEnable, (GLenum c), (c), double(c))
WRAP(void, glDisable, (GLenum c), (c), double(c))
WRAP(void, glLightf, (GLenum l, GLenum p, GLfloat v), (l, p, v), double(l), double(p), v)
WRAP(void, glMaterialf, (GLenum f, GLenum p, GLfloat v), (f, p, v), double(f), double(p), v)
WRAP(void, glTexGeni, (GLenum c, GLenum p, GLint v), (c, p, v), double(c), double(p), double(v))
WRAP(void, glPushMatrix, (), (), )
WRAP(void, glPopMatrix, (), (), )
WRAP(void, glLineWidth, (GLfloat w), (w), w)
WRAP(void, glPointSize, (GLfloat s), (s), s)
WRAP(void, glPolygonMode, (GLenum f, GLenum m), (f, m), double(f), double(m))
WRAP(void, glDepthMask, (GLboolean f), (f), double(f))
WRAP(void, glMatrixMode, (GLenum m), (m), double(m))
WRAP(void, glLoadIdentity, (), (), )
WRAP(void, glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f), (l, r, b, t, n, f), l, r,
     b, t, n, f)
WRAP(void, glDeleteLists, (GLuint l, GLsizei n), (l, n), double(l), double(n))
WRAP(void, glBindTexture, (GLenum t, GLuint n), (t, n), double(t), double(n))
WRAP(void, glTexEnvi, (GLenum t, GLenum p, GLint v), (t, p, v), double(t), double(p), double(v))
WRAP(void, glTexParameteri, (GLenum t, GLenum p, GLint v), (t, p, v), double(t), double(p), double(v))
WRAP(void, glTexImage2D,
     (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum ty, const void *d),
     (t, l, i, w, h, b, f, ty, d), double(t), double(l), double(i), double(w), double(h), double(b), double(f), double(ty),
     d ? 1.0 : 0.0)
WRAP(void, glBlendFunc, (GLenum s, GLenum d), (s, d), double(s), double(d))
WRAP(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), x, y, z)
WRAP(void, glRotatef, (GLfloat a, GLfloat x, GLfloat y, GLfloat z), (a, x, y, z), a, x, y, z)
WRAP(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), x, y, z)
WRAP(void, glClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a), r, g, b, a)
WRAP(void, glClear, (GLbitfield m), (m), double(m))
WRAP(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h), double(x), double(y), double(w), double(h))
WRAP(void, glCullFace, (GLenum m), (m), double(m))
WRAP(void, glShadeModel, (GLenum m), (m), double(m))
WRAP(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a), double(r), double(g),
     double(b), double(a))
WRAP(void, glCopyTexSubImage2D, (GLenum t, GLint l, GLint xo, GLint yo, GLint x, GLint y, GLsizei w, GLsizei h),
     (t, l, xo, yo, x, y, w, h), double(t), double(l), double(xo), double(yo), double(x), double(y), double(w), double(h))
WRAP(void, glPolygonOffset, (GLfloat f, GLfloat u), (f, u), f, u)
WRAP(void, glAlphaFunc, (GLenum f, GLclampf r), (f, r), double(f), r)
WRAP(void, glClearDepth, (GLclampd d), (d), d)
WRAP(void, glDepthFunc, (GLenum f), (f), double(f))
WRAP(void, glNewList, (GLuint l, GLenum m), (l, m), double(l), double(m))

extern "C" void glLightfv(GLenum l, GLenum p, const GLfloat *v) {
  std::vector<double> args{double(l), double(p)};
  for (int i = 0; i < paramCount(p); ++i) args.push_back(v[i]);
  recordArray("glLightfv", args);
  FORWARD(void, glLightfv, (GLenum, GLenum, const GLfloat *), (l, p, v))
}

extern "C" void glMaterialfv(GLenum f, GLenum p, const GLfloat *v) {
  std::vector<double> args{double(f), double(p)};
  for (int i = 0; i < paramCount(p); ++i) args.push_back(v[i]);
  recordArray("glMaterialfv", args);
  FORWARD(void, glMaterialfv, (GLenum, GLenum, const GLfloat *), (f, p, v))
}

extern "C" void glTexGenfv(GLenum c, GLenum p, const GLfloat *v) {
  recordArray("glTexGenfv", {double(c), double(p), v[0], v[1], v[2], v[3]});
  FORWARD(void, glTexGenfv, (GLenum, GLenum, const GLfloat *), (c, p, v))
}

extern "C" void glLoadMatrixf(const GLfloat *m) {
  recordArray("glLoadMatrixf", std::vector<double>(m, m + 16));
  FORWARD(void, glLoadMatrixf, (const GLfloat *), (m))
}

extern "C" GLuint glGenLists(GLsizei n) {
  static auto realGenLists = reinterpret_cast<GLuint (*)(GLsizei)>(real("glGenLists"));
  GLuint base = realGenLists(n);
  record("glGenLists", {double(n), double(base)});
  return base;
}

extern "C" void glGenTextures(GLsizei n, GLuint *names) {
  static auto realGen = reinterpret_cast<void (*)(GLsizei, GLuint *)>(real("glGenTextures"));
  realGen(n, names);
  record("glGenTextures", {double(n), double(names[0])});
}

extern "C" const GLubyte *glGetString(GLenum name) {
  static auto realGet = reinterpret_cast<const GLubyte *(*)(GLenum)>(real("glGetString"));
  record("glGetString", {double(name)});
  const GLubyte *answer = realGet(name);
  if (name != GL_EXTENSIONS || !gHideFbo || !answer) return answer;
  static std::string filtered;
  filtered = reinterpret_cast<const char *>(answer);
  for (size_t at; (at = filtered.find("framebuffer_object")) != std::string::npos;) filtered.replace(at, 18, "fb_hidden_object");
  return reinterpret_cast<const GLubyte *>(filtered.c_str());
}

extern "C" void gluLookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
                          GLdouble uy, GLdouble uz) {
  record("gluLookAt", {ex, ey, ez, cx, cy, cz, ux, uy, uz});
  static auto realLookAt = reinterpret_cast<void (*)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble,
                                                     GLdouble, GLdouble, GLdouble)>(real("gluLookAt"));
  ++gInsideGlu;
  realLookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
  --gInsideGlu;
}

extern "C" void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zn, GLdouble zf) {
  record("gluPerspective", {fovy, aspect, zn, zf});
  static auto realPerspective = reinterpret_cast<void (*)(GLdouble, GLdouble, GLdouble, GLdouble)>(real("gluPerspective"));
  ++gInsideGlu;
  realPerspective(fovy, aspect, zn, zf);
  --gInsideGlu;
}

extern "C" GLint gluBuild2DMipmaps(GLenum t, GLint c, GLsizei w, GLsizei h, GLenum f, GLenum ty, const void *d) {
  record("gluBuild2DMipmaps", {double(t), double(c), double(w), double(h), double(f), double(ty)});
  static auto realBuild =
      reinterpret_cast<GLint (*)(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void *)>(real("gluBuild2DMipmaps"));
  ++gInsideGlu;
  GLint result = realBuild(t, c, w, h, f, ty, d);
  --gInsideGlu;
  return result;
}

// Extension entry points come through eglGetProcAddress: record the lookup, and hand out recording
// wrappers for the ones the render target uses.
namespace {
PFNGLGENFRAMEBUFFERSEXTPROC realGenFramebuffers;
PFNGLGENRENDERBUFFERSEXTPROC realGenRenderbuffers;
PFNGLBINDRENDERBUFFEREXTPROC realBindRenderbuffer;
PFNGLRENDERBUFFERSTORAGEEXTPROC realRenderbufferStorage;

void APIENTRY recGenFramebuffers(GLsizei n, GLuint *ids) {
  realGenFramebuffers(n, ids);
  record("glGenFramebuffersEXT", {double(n), double(ids[0])});
}
void APIENTRY recGenRenderbuffers(GLsizei n, GLuint *ids) {
  realGenRenderbuffers(n, ids);
  record("glGenRenderbuffersEXT", {double(n), double(ids[0])});
}
void APIENTRY recBindRenderbuffer(GLenum t, GLuint id) {
  record("glBindRenderbufferEXT", {double(t), double(id)});
  realBindRenderbuffer(t, id);
}
void APIENTRY recRenderbufferStorage(GLenum t, GLenum f, GLsizei w, GLsizei h) {
  record("glRenderbufferStorageEXT", {double(t), double(f), double(w), double(h)});
  realRenderbufferStorage(t, f, w, h);
}
}  // namespace

extern "C" __eglMustCastToProperFunctionPointerType eglGetProcAddress(const char *name) {
  static auto realLookup =
      reinterpret_cast<__eglMustCastToProperFunctionPointerType (*)(const char *)>(dlsym(RTLD_NEXT, "eglGetProcAddress"));
  if (gRecording) gCalls.push_back({std::string("eglGetProcAddress:") + name, {}});
  if (name == gHiddenProc) return nullptr;
  auto p = realLookup(name);
  auto as = [](auto f) { return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(f); };
  if (!std::strcmp(name, "glGenFramebuffersEXT")) return realGenFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSEXTPROC>(p), as(recGenFramebuffers);
  if (!std::strcmp(name, "glGenRenderbuffersEXT")) return realGenRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSEXTPROC>(p), as(recGenRenderbuffers);
  if (!std::strcmp(name, "glBindRenderbufferEXT")) return realBindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFEREXTPROC>(p), as(recBindRenderbuffer);
  if (!std::strcmp(name, "glRenderbufferStorageEXT")) return realRenderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEEXTPROC>(p), as(recRenderbufferStorage);
  return p;
}

namespace Recorder {
void start() {
  gCalls.clear();
  gRecording = true;
}
std::vector<GLCall> stop() {
  gRecording = false;
  return std::move(gCalls);
}
void hideFramebufferExtension(bool hide) { gHideFbo = hide; }
void hideProc(const std::string &name) { gHiddenProc = name; }

std::vector<GLCall> named(const std::vector<GLCall> &calls, const std::string &name) {
  std::vector<GLCall> out;
  for (const GLCall &c : calls)
    if (c.name == name) out.push_back(c);
  return out;
}
std::vector<std::string> names(const std::vector<GLCall> &calls) {
  std::vector<std::string> out;
  for (const GLCall &c : calls) out.push_back(c.name);
  return out;
}
int count(const std::vector<GLCall> &calls, const std::string &name) {
  return static_cast<int>(named(calls, name).size());
}
}  // namespace Recorder
