# Fuzz targets (libFuzzer entry points). The ordinary build runs each over its seed folders as a
# test. With CALTRIX_BUILD_FUZZ (clang only) the whole build is instrumented for coverage and
# sanitized, and `fuzz_targets` builds real libFuzzer executables into ${CMAKE_BINARY_DIR}/fuzz,
# each with a NAME.seeds file listing its seed folders, for `make fuzz`.

if(CALTRIX_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CALTRIX_BUILD_FUZZ needs clang (CXX=clang++)")
  endif()
  # Every library the fuzz targets link gets the coverage feedback and the sanitizers.
  target_compile_options(caltrix_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(caltrix_options INTERFACE -fsanitize=address,undefined)
  add_custom_target(fuzz_targets)
endif()

# caltrix_fuzz_target(NAME SOURCES ... LIBS ... [SEEDS folder...])
# Seeds: tests/fuzz-corpus/NAME plus the SEEDS folders (e.g. the tests' shared fixtures).
function(caltrix_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS;SEEDS" ${ARGN})
  set(seeds ${PROJECT_SOURCE_DIR}/tests/fuzz-corpus/${name} ${F_SEEDS})

  add_executable(${name}_seeds ${F_SOURCES})
  target_link_libraries(${name}_seeds PRIVATE caltrix_options caltrix_fuzz_seed_driver ${F_LIBS})
  set_target_properties(${name}_seeds PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name}_seeds COMMAND ${name}_seeds ${seeds})
  set_tests_properties(${name}_seeds PROPERTIES LABELS unit TIMEOUT 120)

  if(CALTRIX_BUILD_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE caltrix_options ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    list(JOIN seeds "\n" seed_lines)
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.seeds "${seed_lines}\n")
    add_dependencies(fuzz_targets ${name})
  endif()
endfunction()
