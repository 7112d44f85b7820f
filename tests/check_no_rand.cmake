# Fails when the player imports the C library's random generator: the water simulation reads rand(),
# and a host that calls or seeds it would change the plug-in's pictures behind its back.
execute_process(COMMAND nm -D --undefined-only ${EXE} OUTPUT_VARIABLE SYMBOLS RESULT_VARIABLE RC)
if(NOT RC EQUAL 0)
  message(FATAL_ERROR "nm failed on ${EXE}")
endif()
foreach(NAME rand srand random srandom rand_r drand48 srand48)
  if(SYMBOLS MATCHES "[ \n]${NAME}(@[^\n]*)?\n")
    message(FATAL_ERROR "${EXE} imports ${NAME}")
  endif()
endforeach()
message(STATUS "${EXE} leaves the C library's random generator alone")
