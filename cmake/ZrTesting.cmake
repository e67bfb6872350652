# GoogleTest from the distribution's sources, so that the cross build gets a copy made by its own compiler.
if(ZR_TESTS)
  enable_testing()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    message(FATAL_ERROR "GoogleTest sources not found in /usr/src/googletest: run scripts/setup")
  endif()
  include(GoogleTest)
endif()

# zr_gtest(<target> SOURCES <files...> LIBS <libs...> [ENVIRONMENT <VAR=value...>]
#          [RESOURCE_LOCK <names...>] [RUN_SERIAL])
# One test program; every case becomes its own ctest test. Discovery runs when ctest runs, so a
# cross build never starts Wine while it compiles. Cases that share machine state (COM ports,
# registry keys, named objects) take a RESOURCE_LOCK or RUN_SERIAL.
function(zr_gtest target)
  if(NOT ZR_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "RUN_SERIAL" "" "SOURCES;LIBS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  set(properties TIMEOUT 120)
  if(ARG_ENVIRONMENT)
    list(JOIN ARG_ENVIRONMENT "\\;" environment)
    list(APPEND properties ENVIRONMENT "${environment}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(JOIN ARG_RESOURCE_LOCK "\\;" locks)
    list(APPEND properties RESOURCE_LOCK "${locks}")
  endif()
  if(ARG_RUN_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${properties})
endfunction()
