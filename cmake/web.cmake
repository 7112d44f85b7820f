# The intro in a web page: the plug-in's portable sources and kandu's web host compiled to
# WebAssembly with Emscripten (emcmake cmake -S . -B build-web; scripts/web-demo.sh does it all).
# Every file gets platform/web_gl.h first, which sends the GL 1.x names to web_gl.cpp, then the guard
# that refuses any GL or GLU call the layer does not cover (cmake/web_gl_guard.cmake).
add_subdirectory(base)
add_subdirectory(timeline)
target_compile_options(kandu_timeline PRIVATE -O2)
target_compile_options(kandu_base PRIVATE -O2)

add_executable(kandu_web ${KANDU_PORTABLE_SOURCES} platform/web_platform.cpp player/web/host.cpp player/web/editor_api.cpp
  player/host_frame.cpp)
target_include_directories(kandu_web PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
include(${PROJECT_SOURCE_DIR}/cmake/web_gl_guard.cmake)
target_compile_options(kandu_web PRIVATE "SHELL:-include ${CMAKE_CURRENT_SOURCE_DIR}/platform/web_gl.h"
  "SHELL:-include ${WEB_GL_GUARD}" -O2)
set_source_files_properties(platform/web_platform.cpp PROPERTIES COMPILE_DEFINITIONS KANDU_TALKS_TO_WEBGL)
# The GL layer itself talks to WebGL and is the one file without the redirections.
add_library(kandu_web_gl STATIC platform/web_gl.cpp platform/web_gl_maths.cpp platform/web_gl_vertex.cpp platform/web_gl_batch.cpp)
target_include_directories(kandu_web_gl PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(kandu_web_gl PRIVATE -O2)
target_link_libraries(kandu_web PRIVATE kandu_web_gl kandu_timeline)
# One module, instantiated as often as a page needs a fresh intro (the editor's stills):
# createKandu({canvas}) resolves to a module of its own.
set(KANDU_WEB_EXPORTS _malloc _free
  _kandu_web_start _kandu_web_max_timeline_bytes _kandu_web_still_at _kandu_web_error _kandu_web_builtin _kandu_web_duration _kandu_web_frame _kandu_web_still _kandu_web_key
  _kandu_web_paused _kandu_web_tick _kandu_web_position _kandu_web_seek _kandu_web_set_paused _kandu_web_set_loop
  _kandu_web_title _kandu_web_words _kandu_web_moments _kandu_web_music _kandu_web_beat
  _kandu_doc_open _kandu_doc_text _kandu_doc_length _kandu_doc_blocks _kandu_doc_grid _kandu_doc_move _kandu_doc_edge
  _kandu_doc_duplicate _kandu_doc_delete _kandu_doc_word _kandu_doc_insert _kandu_doc_insert_time
  _kandu_doc_remove_time _kandu_doc_tempo)
list(JOIN KANDU_WEB_EXPORTS "," KANDU_WEB_EXPORT_LIST)
target_link_options(kandu_web PRIVATE -Os -lGL -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sMODULARIZE=1
  -sEXPORT_NAME=createKandu -sEXPORTED_FUNCTIONS=${KANDU_WEB_EXPORT_LIST}
  -sEXPORTED_RUNTIME_METHODS=ccall,HEAPU8,HEAP32,HEAPF32)
set_target_properties(kandu_web PROPERTIES OUTPUT_NAME kandu SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
foreach(page index.html beat.js bytes.js editor.html editor.js editor.css)
  configure_file(${PROJECT_SOURCE_DIR}/player/web/${page} ${PROJECT_BINARY_DIR}/${page} COPYONLY)
endforeach()
