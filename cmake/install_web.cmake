# Installs the web build's pages (run by `cmake --install`): the player's page, the editor, their
# modules and the WebAssembly module, nothing of the build's own files.
# file(INSTALL) puts DESTDIR (a package's staging folder) in front by itself.
set(dest "${CMAKE_INSTALL_PREFIX}/${KANDU_INSTALL_PAGEDIR}")
if(NOT EXISTS "${KANDU_WEB_DIR}/editor.html" OR NOT EXISTS "${KANDU_WEB_DIR}/kandu.wasm" OR
   NOT EXISTS "${KANDU_WEB_DIR}/kandu-editor.wasm")
  message(STATUS "No web pages installed: ${KANDU_WEB_DIR} has no web build (scripts/web-demo.sh --build-only makes it with Emscripten)")
  return()
endif()
file(GLOB top "${KANDU_WEB_DIR}/*.html" "${KANDU_WEB_DIR}/*.js" "${KANDU_WEB_DIR}/*.css" "${KANDU_WEB_DIR}/*.wasm")
file(GLOB editor "${KANDU_WEB_DIR}/editor/*.js")
file(INSTALL ${top} DESTINATION "${dest}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL ${editor} DESTINATION "${dest}/editor" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
