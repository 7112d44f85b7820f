// A small Windows host for kandu.dll: a window with a WGL context, the plug-in loaded with
// LoadLibraryA, every export looked up by name and by ordinal, InitDLL, then every drawing effect
// rendered the way kandu-player renders it. Writes the pictures (PPM) and the read-back result
// texture into the directory given, and one line per check.
//   kandu_win_host.exe OUTDIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/export.h"
#include "tests/windows/shots.h"

namespace {
// __stdcall for 32-bit hosts; 64-bit Windows has one calling convention.
typedef void(KANDU_CALL *TextExport)(const char *);
typedef void(KANDU_CALL *ValueExport)(int);

uint32_t gClock = 0;
int gPassed = 0, gFailed = 0;

void check(bool ok, const std::string &what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  (ok ? gPassed : gFailed)++;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

HDC openWindow() {
  WNDCLASSA wc = {};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "kandu_host";
  RegisterClassA(&wc);
  RECT r = {0, 0, Shots::kWidth, Shots::kHeight};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  HWND window = CreateWindowA("kandu_host", "kandu", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return nullptr;
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof pfd;
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 32;
  pfd.cAlphaBits = 8;
  pfd.cDepthBits = 24;
  int format = ChoosePixelFormat(dc, &pfd);
  if (!format || !SetPixelFormat(dc, format, &pfd)) return nullptr;
  HGLRC context = wglCreateContext(dc);
  if (!context || !wglMakeCurrent(dc, context)) return nullptr;
  return dc;
}
}  // namespace

// The plug-in's clock follows this host's frames, as in kandu-player's captures.
extern "C" __declspec(dllexport) uint32_t kandu_host_time_ms(void) { return gClock; }

int main(int argc, char **argv) {
  std::string out = argc > 1 ? argv[1] : ".";
  HDC dc = openWindow();
  check(dc != nullptr, "window with a WGL context");
  if (!dc) return 1;
  std::printf("GL renderer: %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)));

  HMODULE plugin = LoadLibraryA("kandu.dll");
  check(plugin != nullptr, "LoadLibraryA(\"kandu.dll\")");
  if (!plugin) return 1;
  struct Export {
    const char *name;
    int ordinal;
    FARPROC byName, byOrdinal;
  } exports[] = {{"ExecuteDLL", 1, nullptr, nullptr},       {"InitDLL", 2, nullptr, nullptr},
                 {"FreeDLL", 3, nullptr, nullptr},          {"setTimeDLL", 4, nullptr, nullptr},
                 {"AssignController", 12, nullptr, nullptr}, {"getBlockInfo", 13, nullptr, nullptr}};
  for (Export &e : exports) {
    e.byName = GetProcAddress(plugin, e.name);
    e.byOrdinal = GetProcAddress(plugin, MAKEINTRESOURCEA(e.ordinal));
    check(e.byName != nullptr && e.byName == e.byOrdinal,
          std::string(e.name) + " by name and by ordinal " + std::to_string(e.ordinal));
  }
  check(exports[2].byName == exports[4].byName, "FreeDLL and AssignController are one function");
  for (int unassigned : {5, 6, 11, 14}) check(!GetProcAddress(plugin, MAKEINTRESOURCEA(unassigned)), "no export at ordinal " + std::to_string(unassigned));

  auto execute = reinterpret_cast<TextExport>(reinterpret_cast<void *>(exports[0].byName));
  auto init = reinterpret_cast<ValueExport>(reinterpret_cast<void *>(exports[1].byName));
  auto freeDll = reinterpret_cast<ValueExport>(reinterpret_cast<void *>(exports[2].byName));
  auto setTime = reinterpret_cast<TextExport>(reinterpret_cast<void *>(exports[3].byName));
  auto blockInfo = reinterpret_cast<TextExport>(reinterpret_cast<void *>(exports[5].byName));

  // Some wglUseFontBitmapsA implementations (Wine's among them) leave a GL error behind on their
  // own; what the font call alone leaves is the only error InitDLL may leave.
  GLenum fontError = GL_NO_ERROR;
  {
    GLuint base = glGenLists(96);
    HFONT font = CreateFontA(24, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
    HGDIOBJ previous = SelectObject(dc, font);
    wglUseFontBitmapsA(dc, 32, 96, base);
    SelectObject(dc, previous);
    DeleteObject(font);
    glDeleteLists(base, 96);
    fontError = glGetError();
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  init(0);
  GLenum initError = glGetError();
  while (glGetError() != GL_NO_ERROR) {
  }
  check(initError == GL_NO_ERROR || initError == fontError,
        "InitDLL leaves no GL error of its own (got " + std::to_string(initError) + ", the font call alone " +
            std::to_string(fontError) + ")");
  check(Shots::writeFile(out + "/texture.rgba", Shots::readResultTexture()), "result texture written");
  for (const Shots::Shot &shot : Shots::kShots) {
    Shots::hostFrame(setTime, blockInfo, execute, shot.word, shot.progress * 0.5f);
    gClock += 16;
    Shots::hostFrame(setTime, blockInfo, execute, shot.word, shot.progress);
    gClock += 16;
    GLenum frameError = glGetError();  // the first frame builds the renderer's default font
    while (glGetError() != GL_NO_ERROR) {
    }
    check(frameError == GL_NO_ERROR || frameError == fontError, std::string(shot.word) + " leaves no GL error of its own");
    std::vector<uint8_t> picture = Shots::readPicture();
    check(Shots::litPixels(picture) > 10000, std::string(shot.word) + " draws a picture");
    check(Shots::writeFile(out + "/" + shot.word + ".ppm", picture, Shots::ppmHeader()), std::string(shot.word) + ".ppm written");
    SwapBuffers(dc);
  }
  freeDll(0);
  std::printf("%d passed, %d failed\n", gPassed, gFailed);
  return gFailed == 0 ? 0 : 1;
}
