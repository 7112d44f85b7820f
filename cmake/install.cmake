# What `cmake --install` puts under a prefix, and the Debian package made of the same files:
#   bin/kandu-player                   the player
#   lib/kandu/libkandu.so              the plug-in, where the player looks for it from bin/
#   share/kandu/web/                   the player's page, the editor and the module (the web build)
#   share/doc/kandu/                   the licence, the README and the user's manual
#   share/man/man1/kandu-player.1.gz   the manual page, made from --help
# The player finds the plug-in and the pages relative to its own file, so these paths are given to
# it here, once.
include(GNUInstallDirs)
set(KANDU_INSTALL_PLUGINDIR lib/kandu)
set(KANDU_INSTALL_PAGEDIR ${CMAKE_INSTALL_DATADIR}/kandu/web)
set(KANDU_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/kandu)
file(RELATIVE_PATH plugin_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${KANDU_INSTALL_PLUGINDIR})
file(RELATIVE_PATH pages_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${KANDU_INSTALL_PAGEDIR})
set_source_files_properties(${PROJECT_SOURCE_DIR}/player/locations.cpp TARGET_DIRECTORY kandu_player_core
  PROPERTIES COMPILE_DEFINITIONS "KANDU_PLUGIN_FROM_BIN=\"${plugin_from_bin}\";KANDU_PAGES_FROM_BIN=\"${pages_from_bin}\"")

# The web build (scripts/web-demo.sh --build-only makes it with Emscripten): installed when it is
# there, otherwise the install says in one line that it has no pages.
set(KANDU_WEB_DIR ${PROJECT_SOURCE_DIR}/build-web CACHE PATH "The web build whose pages are installed")
# Seen from the build folder as web/, where the player looks first: an out-of-tree build finds them.
if(NOT EXISTS ${PROJECT_BINARY_DIR}/web)
  file(CREATE_LINK ${KANDU_WEB_DIR} ${PROJECT_BINARY_DIR}/web SYMBOLIC)
endif()

install(TARGETS kandu-player RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kandu LIBRARY DESTINATION ${KANDU_INSTALL_PLUGINDIR} NAMELINK_SKIP)
install(CODE "set(KANDU_WEB_DIR \"${KANDU_WEB_DIR}\")\nset(KANDU_INSTALL_PAGEDIR \"${KANDU_INSTALL_PAGEDIR}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_web.cmake)
install(FILES LICENSE README.md DESTINATION ${KANDU_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${KANDU_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "*.txt")

# The manual page, written by help2man from the player's --help and --version and the sections in
# docs/kandu-player.h2m, so that the two cannot disagree.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP)
  add_custom_command(OUTPUT kandu-player.1.gz
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1
      --name "play and capture the kandu demo, and make demos from music"
      --include ${PROJECT_SOURCE_DIR}/docs/kandu-player.h2m --output kandu-player.1 $<TARGET_FILE:kandu-player>
    COMMAND ${GZIP} -9nf kandu-player.1
    DEPENDS kandu-player ${PROJECT_SOURCE_DIR}/docs/kandu-player.h2m
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
  add_custom_target(kandu_manpage ALL DEPENDS kandu-player.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/kandu-player.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "No manual page: help2man or gzip is not installed")
endif()

# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh). Its dependencies
# are worked out by dpkg-shlibdeps from what the binaries link; the one program the player runs
# rather than links, ffmpeg (videos are encoded by it), is named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kandu)
set(CPACK_PACKAGE_VENDOR kandu)
set(CPACK_PACKAGE_CONTACT "kandu developers <kandu@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo plug-in, its player, and a demo editor in the browser")
set(CPACK_PACKAGE_DESCRIPTION "kandu is a real-time demo drawn with OpenGL 1.x by a plug-in library.\n"
  "kandu-player plays it in a window locked to the music, captures it frame-exactly to MP4 or PNG,\n"
  "finds the tempo of a song, serves the demo editor to a browser and exports a demo as one HTML file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_STRIP_FILES ON)
include(CPack)
