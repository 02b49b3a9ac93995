# hopsight_test(name source... LIBS lib... [LABELS label...])
# One GoogleTest binary, registered with CTest as one test.
#   label "lab":   needs root and network namespaces (skips itself otherwise)
#   label "nosan": not run in sanitizer builds (timing-sensitive or external tools)
find_package(GTest QUIET)

# A main build's bin/data, for sanitizer builds: the data files made at build
# time (RIR.idx, HopSight.gdp, hopsight.loca) are copied from there instead of
# being made again by instrumented tools (minutes under ThreadSanitizer).
set(HOPSIGHT_PREBUILT_DATA "" CACHE PATH "Take the generated data files from this bin/data")
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

# `fuzz-targets` builds every libFuzzer target of a fuzz build and nothing
# else: the fuzz phase of ./test needs no instrumented tests or programs.
if(HOPSIGHT_FUZZ)
  function(_hopsight_fuzz_targets)
    get_property(targets GLOBAL PROPERTY HOPSIGHT_FUZZ_TARGETS)
    add_custom_target(fuzz-targets)
    if(targets)
      add_dependencies(fuzz-targets ${targets})
    endif()
    # The list the fuzz runner reads, so that the binary of a target that was
    # removed from the sources is not run again from an old build directory.
    list(JOIN targets "\n" lines)
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/targets.txt "${lines}\n")
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _hopsight_fuzz_targets)
endif()

# Sanitizer builds exist to run the tests: the window program, its sounds and
# icons, and the docs' picture maker are left out of their "all".
if(HOPSIGHT_SANITIZE)
  function(_hopsight_trim_sanitizer_build)
    foreach(t hopsight hopsight-sound hopsight-sounds hopsight-artwork ui-extras-snapshots ui-wizard-snapshots)
      if(TARGET ${t})
        set_target_properties(${t} PROPERTIES EXCLUDE_FROM_ALL ON)
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _hopsight_trim_sanitizer_build)
endif()
