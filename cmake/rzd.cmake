# Helpers shared by every component's CMakeLists.txt.

# rzd_add_tests(<target> SOURCES ... LIBS ...)
# One GoogleTest executable per component; every test case runs as its own CTest test, in its own
# process, so tests run in parallel and each one gets a fresh system root from the test support.
function(rzd_add_tests target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} rzd_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
