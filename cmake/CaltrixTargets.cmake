# Project-wide target helpers: warnings, sanitizers, the layers and test registration.

# The layers, lowest first: a layer links only layers listed before it. src/, tests/ and bench/
# each add the folders of the layers chosen in CALTRIX_LAYERS, in this order.
set(CALTRIX_LAYER_ORDER platform devicebase hive antproto antsim antlib ant calibration runs device desktop widgets app tools)

# Adds the subfolder of each chosen layer that exists under the current folder.
macro(caltrix_add_layers)
  foreach(layer IN LISTS CALTRIX_LAYER_ORDER)
    if(layer IN_LIST CALTRIX_LAYERS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${layer}/CMakeLists.txt)
      add_subdirectory(${layer})
    endif()
  endforeach()
endmacro()

add_library(caltrix_options INTERFACE)
target_compile_options(caltrix_options INTERFACE -Wall -Wextra -Wpedantic -Werror)

if(CALTRIX_SANITIZER STREQUAL "address")
  target_compile_options(caltrix_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(caltrix_options INTERFACE -fsanitize=address,undefined)
elseif(CALTRIX_SANITIZER STREQUAL "thread")
  target_compile_options(caltrix_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(caltrix_options INTERFACE -fsanitize=thread)
elseif(NOT CALTRIX_SANITIZER STREQUAL "none")
  message(FATAL_ERROR "CALTRIX_SANITIZER must be none, address or thread")
endif()

# Every library of the project: warnings as errors plus the sanitizer flags.
function(caltrix_library name)
  add_library(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE caltrix_options)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

function(caltrix_executable name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE caltrix_options)
endfunction()

# Test targets built in the ThreadSanitizer run (tests that start threads).
add_custom_target(threaded_tests)

# caltrix_test(NAME SOURCES a.cpp b.cpp LIBS x y [THREADED] [GUI] [LABEL label] [OWN_ENTRIES filter])
# One GoogleTest executable; its cases are listed by CTest at test time, except those of the
# GoogleTest filter OWN_ENTRIES, which run only in CTest entries of their own (under
# dbus-run-session, say).
# THREADED tests also run under ThreadSanitizer and carry the label "threaded" (others: "unit").
# The test main runs a QCoreApplication; GUI tests get a QApplication on Qt's offscreen platform
# and Qt Widgets instead. LABEL replaces "unit" (e.g. "e2e" for tests of the whole program).
function(caltrix_test name)
  cmake_parse_arguments(T "THREADED;GUI" "LABEL;OWN_ENTRIES" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set(main caltrix_test_main)
  if(T_GUI)
    set(main caltrix_gui_test_main)
  endif()
  target_link_libraries(${name} PRIVATE caltrix_options ${main} ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # gtest_discover_tests splits every property value on ';', so each property holds one value.
  set(label unit)
  if(T_LABEL)
    set(label ${T_LABEL})
  endif()
  if(T_THREADED)
    set(label threaded)
    add_dependencies(threaded_tests ${name})
  endif()
  set(listed "")
  if(T_OWN_ENTRIES)
    set(listed TEST_FILTER "-${T_OWN_ENTRIES}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    ${listed}
    PROPERTIES LABELS ${label} TIMEOUT 120)
endfunction()
