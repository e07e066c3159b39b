# qel_add_test(NAME <target> LABEL <unit|gui|e2e> SOURCES ... LIBS ...)
# One GoogleTest executable; every test case becomes its own CTest test.
find_package(GTest REQUIRED)
include(GoogleTest)

function(qel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} testcommon GTest::gmock GTest::gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Tests with windows share one X display: they take turns, so that one
  # test's window never lies over what another reads back from the screen.
  set(lock "")
  if(T_LABEL STREQUAL "gui" OR T_LABEL STREQUAL "e2e")
    set(lock RESOURCE_LOCK x-display)
  endif()
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL} ${lock}
    DISCOVERY_TIMEOUT 60)
endfunction()
