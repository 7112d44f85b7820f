# The default demo's timeline, built into each host as the C string kDemoTimeline: sets DEMO_SOURCE
# to the generated source in the current binary directory.
set(DEMO_TIMELINE ${PROJECT_SOURCE_DIR}/timelines/demo.timeline)
set(DEMO_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/demo_timeline.cpp)
add_custom_command(OUTPUT ${DEMO_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DIN=${DEMO_TIMELINE} -DOUT=${DEMO_SOURCE} -P ${PROJECT_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${DEMO_TIMELINE} ${PROJECT_SOURCE_DIR}/cmake/embed.cmake)
