# Compiles tests/weblayer/covered_call.cpp and uncovered_call.cpp as the web build compiles the
# intro: the first must compile, the second must fail because of the guard's poisoned names.
foreach(name covered_call uncovered_call)
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only -include ${LAYER} -include ${GUARD} ${DIR}/${name}.cpp
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  set(${name}_status ${status})
  set(${name}_errors "${errors}")
endforeach()
if(NOT covered_call_status EQUAL 0)
  message(FATAL_ERROR "a covered GL call does not compile under the layer:\n${covered_call_errors}")
endif()
if(uncovered_call_status EQUAL 0)
  message(FATAL_ERROR "glAccum and gluNewQuadric compiled although the layer does not cover them")
endif()
foreach(call glAccum gluNewQuadric)
  if(NOT uncovered_call_errors MATCHES "poisoned.*${call}|${call}.*poisoned")
    message(FATAL_ERROR "${call} was not refused as poisoned:\n${uncovered_call_errors}")
  endif()
endforeach()
