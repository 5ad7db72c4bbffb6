# Test and benchmark registration for every folder of the tree.
#
#   ami_test_suite(NAME source... [HEAP source...] [VALGRIND filter])
#     One GoogleTest program linked against ami_core and ami_model, so tests
#     reach internal functions without recompiling them. HEAP sources need
#     the heap accounting of tests/support (allocation counts, refused
#     allocations) and are built only where it exists: it replaces malloc,
#     which the sanitizers replace too. VALGRIND also runs the tests that
#     match the GoogleTest filter under valgrind (x86-64 builds); valgrind
#     takes malloc over, so heap-accounting tests do not belong in it.
#   ami_benchmark(NAME source...)
#     One Google Benchmark program (x86-64 builds without sanitizers).

#
# Both do nothing when their kind of program is not built.

if(AMI_TESTS)
  # GoogleTest and GoogleMock from the sources Debian's googletest package
  # installs, built with this build's architecture flags.
  set(GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  if(NOT EXISTS "${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${GOOGLETEST_SOURCE_DIR}: "
                        "apt-get install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)

  if(AMI_ARCH STREQUAL "64" AND NOT AMI_SANITIZE)
    find_program(AMI_VALGRIND valgrind)
  endif()
  if(NOT AMI_SANITIZE)
    set(AMI_HEAP_ACCOUNTING ON)
    add_library(ami_heap_accounting OBJECT ${PROJECT_SOURCE_DIR}/tests/support/heap_accounting.cpp)
    target_include_directories(ami_heap_accounting PRIVATE ${PROJECT_SOURCE_DIR})
    ami_warnings(ami_heap_accounting)
  endif()
endif()

function(ami_test_suite name)
  if(NOT AMI_TESTS)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "VALGRIND" "HEAP")
  set(sources ${arg_UNPARSED_ARGUMENTS})
  if(AMI_HEAP_ACCOUNTING)
    list(APPEND sources ${arg_HEAP})
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ami_model ami_core GTest::gmock_main dl)
  if(AMI_HEAP_ACCOUNTING)
    target_link_libraries(${name} PRIVATE ami_heap_accounting)
    target_compile_definitions(${name} PRIVATE AMI_HEAP_ACCOUNTING=1)
  endif()
  target_compile_definitions(${name} PRIVATE AMI_MODEL_LIBRARY="$<TARGET_FILE:halvorin_tx>")
  ami_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
  if(arg_VALGRIND AND AMI_VALGRIND)
    add_test(NAME ${name}_valgrind
             COMMAND ${AMI_VALGRIND} --quiet --leak-check=full --show-leak-kinds=all
                     --errors-for-leak-kinds=all --error-exitcode=1
                     $<TARGET_FILE:${name}> --gtest_filter=${arg_VALGRIND})
  endif()
endfunction()

function(ami_benchmark name)
  if(AMI_BUILD_BENCHMARKS)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE ami_model ami_core benchmark::benchmark)
    ami_warnings(${name})
  endif()
endfunction()
