# GoogleTest from Debian's sources, built with whatever compiler the preset uses
# (MinGW for Windows, g++ or clang for the host).
function(cw_use_googletest)
  if(TARGET gtest)
    return()
  endif()
  set(gtest_src /usr/src/googletest)
  if(NOT EXISTS ${gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources missing: run scripts/setup (package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${gtest_src} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
endfunction()

# cw_add_gtest(name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s])
# One CTest test per test binary: under Wine every process start costs, so
# the binary runs all its cases in one go.
function(cw_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  cw_use_googletest()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "CW_SOURCE_DIR=${PROJECT_SOURCE_DIR};CW_TESTDATA=${PROJECT_SOURCE_DIR}/tests")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# cw_trust_test_ca(target): the test runs with the peers fixture's test CA
# (tests/proxylist/peers.sh) among the system's trusted roots, in a mount
# namespace of its own (tests/support/with_test_ca.sh).
function(cw_trust_test_ca target)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/tests/support/with_test_ca.sh;${CMAKE_BINARY_DIR}/tests/proxylist/peers/tls/ca.pem;${CMAKE_CROSSCOMPILING_EMULATOR}")
endfunction()
