# kandu.dll for Windows hosts, and the Windows test host that proves it. The toolchain file picks the
# architecture: cmake/mingw-i686.cmake for 32-bit hosts, cmake/mingw-x86_64.cmake for 64-bit ones.
set(KANDU_WIN32_SOURCES ${KANDU_PORTABLE_SOURCES}
  platform/win32_gl.cpp platform/win32_notice.cpp platform/win32_time.cpp platform/win32_font.cpp
  platform/win32_entry.cpp
)

# SSE2 arithmetic, so that single- and double-precision roundings are those of the Linux build
# rather than the x87 unit's extended precision (x86_64 has it already).
set(KANDU_WIN32_FLAGS -msse2 -mfpmath=sse -ffp-contract=off)

add_library(kandu SHARED ${KANDU_WIN32_SOURCES} platform/kandu.def)
target_include_directories(kandu PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(kandu PRIVATE ${KANDU_WIN32_FLAGS})
target_link_libraries(kandu PRIVATE glu32 opengl32 gdi32 user32 winmm)
# The .def names the exports undecorated; on 32-bit the stdcall fix-up binds them to ExecuteDLL@4 etc.
target_link_options(kandu PRIVATE -static-libgcc -static-libstdc++ -static -Wl,--enable-stdcall-fixup)
set_target_properties(kandu PROPERTIES PREFIX "" OUTPUT_NAME kandu)

add_executable(kandu_win_host tests/windows/win_host.cpp)
target_include_directories(kandu_win_host PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(kandu_win_host PRIVATE ${KANDU_WIN32_FLAGS})
target_link_libraries(kandu_win_host PRIVATE opengl32 glu32 gdi32 user32)
target_link_options(kandu_win_host PRIVATE -static-libgcc -static-libstdc++ -static)
