# Helpers shared by every component's CMakeLists.txt.
#
#   corvane_add_library(NAME <target> [SHARED|STATIC] [RECURSE]
#                       SOURCES_DIR <dir>... [SOURCES <file>...]
#                       INCLUDE_DIR <dir>... [LIBS <lib>...] [PRIVATE_LIBS <lib>...])
#   corvane_add_test(NAME <exe> SOURCES_DIR <dir>... [SOURCES <file>...]
#                    [LIBS <lib>...] [DATA <file-or-dir>...] [COST <seconds>])
#   corvane_install_shared_library(<target>)
#   corvane_add_benchmark(NAME <exe> SOURCES_DIR <dir>... [SOURCES <file>...]
#                         [LIBS <lib>...] [NO_BENCHMARK_MAIN])
#
# Relative directories are taken relative to the calling CMakeLists.txt.

include_guard(GLOBAL)

# Collects the *.cc files of the given directories (and the explicit SOURCES)
# into <out_var>. The glob is re-checked at build time, so adding a source file
# needs no manual re-configure.
function(_corvane_collect_sources out_var recurse)
  set(_files)
  foreach(_dir IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH _dir BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    if(recurse)
      file(GLOB_RECURSE _found CONFIGURE_DEPENDS ${_dir}/*.cc)
    else()
      file(GLOB _found CONFIGURE_DEPENDS ${_dir}/*.cc)
    endif()
    list(APPEND _files ${_found})
  endforeach()
  list(SORT _files)
  set(${out_var} ${_files} PARENT_SCOPE)
endfunction()

# A library of the platform or of the station server. Shared by default: backends
# register themselves with the device factory when their library is loaded.
# Public include directories and LIBS propagate to everything that links it.
# A component with headers only so far becomes an INTERFACE library.
# Shared libraries are installed (corvane_install_shared_library).
function(corvane_add_library)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "SHARED;STATIC;RECURSE" "NAME"
                        "SOURCES_DIR;SOURCES;INCLUDE_DIR;LIBS;PRIVATE_LIBS")
  if(NOT ARG_NAME)
    message(FATAL_ERROR "corvane_add_library: NAME is required")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_add_library(${ARG_NAME}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(ARG_SHARED AND ARG_STATIC)
    message(FATAL_ERROR "corvane_add_library(${ARG_NAME}): SHARED and STATIC exclude each other")
  endif()

  _corvane_collect_sources(_sources "${ARG_RECURSE}" ${ARG_SOURCES_DIR})
  list(APPEND _sources ${ARG_SOURCES})

  set(_includes)
  foreach(_inc IN LISTS ARG_INCLUDE_DIR)
    cmake_path(ABSOLUTE_PATH _inc BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    list(APPEND _includes ${_inc})
  endforeach()

  if(NOT _sources)
    message(STATUS "corvane_add_library(${ARG_NAME}): no sources yet, header-only target")
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME} INTERFACE ${_includes})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_LIBS})
    return()
  endif()

  if(ARG_STATIC)
    add_library(${ARG_NAME} STATIC ${_sources})
  else()
    add_library(${ARG_NAME} SHARED ${_sources})
    corvane_install_shared_library(${ARG_NAME})
  endif()
  target_include_directories(${ARG_NAME} PUBLIC ${_includes})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  # Build time: a library compiles as unity batches of up to 8 sources (each header parsed
  # once per batch). Names at file scope in a source must therefore differ between the
  # sources of one library, anonymous namespaces included.
  # Test sources compile in unity batches, as the libraries do (file-scope names unique within a
  # program). Inside a batch no test source is the main file, so GCC would take a fixture in an
  # anonymous namespace, used by the tests of its own source, for one shared between sources.
  set_target_properties(${ARG_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  target_compile_options(${ARG_NAME} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
endfunction()

# Installs a shared library into <prefix>/lib; it finds the libraries it links beside itself.
function(corvane_install_shared_library target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# The precompiled GoogleTest/GoogleMock header that every test program shares: one program
# that exists only to compile it with the test programs' own flags (an executable, so that it
# is compiled position independent the same way). One header per build instead of one per
# program saves about 100 MB of disk per test program and preset, and its compile time.
# Macros that differ between test programs (a library's usage requirements) never occur in
# these two headers, so the one header is valid for all of them.
function(_corvane_test_pch_holder)
  if(TARGET corvane_test_pch)
    return()
  endif()
  set(_main ${CMAKE_BINARY_DIR}/corvane_test_pch_main.cc)
  file(CONFIGURE OUTPUT ${_main} CONTENT "int main() { return 0; }\n")
  add_executable(corvane_test_pch ${_main})
  target_link_libraries(corvane_test_pch PRIVATE GTest::gmock GTest::gtest_main Threads::Threads)
  target_precompile_headers(corvane_test_pch PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  target_compile_options(corvane_test_pch PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-g1 -O0>)
endfunction()

# One GoogleTest executable per unit, linked with gtest_main and gmock. Its
# tests are registered with ctest under the names "<exe>.<Suite>.<Case>" (with
# TESSAREL_TEST_PER_CASE off: the whole program as one test "<exe>") and run in
# the executable's binary directory, where DATA files are copied.
function(corvane_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "RECURSE" "NAME;COST" "SOURCES_DIR;SOURCES;LIBS;DATA")
  if(NOT ARG_NAME)
    message(FATAL_ERROR "corvane_add_test: NAME is required")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_add_test(${ARG_NAME}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()

  _corvane_collect_sources(_sources "${ARG_RECURSE}" ${ARG_SOURCES_DIR})
  list(APPEND _sources ${ARG_SOURCES})
  if(NOT _sources)
    message(STATUS "corvane_add_test(${ARG_NAME}): no sources yet, skipped")
    return()
  endif()

  add_executable(${ARG_NAME} ${_sources})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  # helpers shared by every test program (tests/support)
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # Build time: every test source parses GoogleTest and GoogleMock once, from the one header
  # precompiled for all test programs, and carries line tables only (file and line in failures and
  # sanitizer reports; full debug information is what made test programs slow to compile).
  # The test programs' own code is not optimised: it only drives the code under test, which
  # lives in the libraries and keeps the preset's optimisation.
  _corvane_test_pch_holder()
  target_precompile_headers(${ARG_NAME} REUSE_FROM corvane_test_pch)
  target_compile_options(${ARG_NAME} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-g1 -O0>)
  # Test sources compile in unity batches, as the libraries do (file-scope names unique within a
  # program). Inside a batch no test source is the main file, so GCC would take a fixture in an
  # anonymous namespace, used by the tests of its own source, for one shared between sources.
  set_target_properties(${ARG_NAME} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  target_compile_options(${ARG_NAME} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)

  foreach(_data IN LISTS ARG_DATA)
    cmake_path(ABSOLUTE_PATH _data BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    file(COPY ${_data} DESTINATION ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()

  # The cases of one program share its working directory (fixtures write device and register
  # maps there), so they never run at the same time; different programs still run in parallel.
  if(TESSAREL_TEST_PER_CASE)
    gtest_discover_tests(${ARG_NAME}
      TEST_PREFIX "${ARG_NAME}."
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 300 RESOURCE_LOCK ${ARG_NAME})
  else()
    # one test "<exe>" that runs all its cases in one process (select cases with
    # --gtest_filter when running the program by hand)
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 1200 RESOURCE_LOCK ${ARG_NAME})
    # COST: about how long the whole program runs under the sanitizers; ctest starts the costliest
    # tests first, so that a long program does not start last and run alone at the end (ctest
    # only has its own record of earlier runs once a build tree has run the tests)
    if(ARG_COST)
      set_tests_properties(${ARG_NAME} PROPERTIES COST ${ARG_COST})
    endif()
  endif()
endfunction()

# A benchmark program; all of them land in <build>/bench/. Linked with
# benchmark_main unless NO_BENCHMARK_MAIN (e.g. the pulse driver has its own main).
function(corvane_add_benchmark)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "RECURSE;NO_BENCHMARK_MAIN" "NAME" "SOURCES_DIR;SOURCES;LIBS")
  if(NOT ARG_NAME)
    message(FATAL_ERROR "corvane_add_benchmark: NAME is required")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_add_benchmark(${ARG_NAME}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()

  _corvane_collect_sources(_sources "${ARG_RECURSE}" ${ARG_SOURCES_DIR})
  list(APPEND _sources ${ARG_SOURCES})
  if(NOT _sources)
    message(STATUS "corvane_add_benchmark(${ARG_NAME}): no sources yet, skipped")
    return()
  endif()

  add_executable(${ARG_NAME} ${_sources})
  if(ARG_NO_BENCHMARK_MAIN)
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads)
  else()
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} benchmark::benchmark_main Threads::Threads)
  endif()
  set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
