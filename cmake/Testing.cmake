# hopsight_test(name source... LIBS lib... [LABELS label...])
# One GoogleTest binary, registered with CTest as one test.
#   label "lab":   needs root and network namespaces (skips itself otherwise)
#   label "nosan": not run in sanitizer builds (timing-sensitive or external tools)
find_package(GTest QUIET)
function(hopsight_test name)
  cmake_parse_arguments(T "" "" "LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOPSIGHT_SOURCE_DIR=${CMAKE_SOURCE_DIR};HOPSIGHT_BUILD_DIR=${CMAKE_BINARY_DIR}"
    SKIP_RETURN_CODE 77
    TIMEOUT 600)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
