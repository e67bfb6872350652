cmake_minimum_required(VERSION 3.25)
# Runs rchost from dist/ under Wine and compares its standard output with a file of expected
# lines, in which <dist> stands for dist/'s Windows path.
#   cmake -DWINE_ENV=<scripts/wine-env> -DPREFIX=<prefix> -DDIST=<dist dir> -DEXPECTED=<file>
#         -DARGS="<args;...>" [-DBEFORE="<args;...>"] -P RunRcHost.cmake
# BEFORE runs first (its output is not compared), for commands that need a state to start from.
foreach(var WINE_ENV PREFIX DIST EXPECTED ARGS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunRcHost.cmake: ${var} not set")
  endif()
endforeach()

if(DEFINED BEFORE)
  execute_process(COMMAND ${WINE_ENV} ${PREFIX} ${DIST}/rchost.exe ${BEFORE}
    WORKING_DIRECTORY ${DIST} OUTPUT_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "rchost ${BEFORE} failed: ${rc}")
  endif()
endif()

execute_process(COMMAND ${WINE_ENV} ${PREFIX} ${DIST}/rchost.exe ${ARGS}
  WORKING_DIRECTORY ${DIST} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
string(REPLACE "\r\n" "\n" out "${out}")

file(READ ${EXPECTED} expected)
string(REPLACE "/" "\\" dist_windows "Z:${DIST}")
string(REPLACE "<dist>" "${dist_windows}" expected "${expected}")

if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/rchost-got.txt "${out}")
  message(FATAL_ERROR "rchost ${ARGS} printed (exit ${rc}):\n${out}\n--- expected:\n${expected}\n--- stderr:\n${err}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "rchost ${ARGS} exited with ${rc}\n${err}")
endif()
message(STATUS "rchost ${ARGS}: output as expected")
