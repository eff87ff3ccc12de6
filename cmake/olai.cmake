# Helpers shared by every folder's CMakeLists.txt.

# olai_library(<target> [OBJECT] [SOURCES files...] [OBJECTS targets...] [DEPS targets...])
# Without SOURCES, every .cpp at the folder's root is compiled (tests/ and
# other sub-folders are not). OBJECT builds an object library, for code whose
# static initialisers register classes and must not be dropped by the linker.
# OBJECTS are object libraries whose files the library holds as its own.
function(olai_library target)
  cmake_parse_arguments(ARG "OBJECT" "" "SOURCES;OBJECTS;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  set(objects $<TARGET_OBJECTS:${target}>)
  foreach(held IN LISTS ARG_OBJECTS)
    list(APPEND ARG_SOURCES $<TARGET_OBJECTS:${held}>)
    list(APPEND objects $<TARGET_OBJECTS:${held}>)
  endforeach()
  if(ARG_OBJECT)
    add_library(${target} OBJECT ${ARG_SOURCES})
  else()
    add_library(${target} STATIC ${ARG_SOURCES})
  endif()
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  # The object files, one a line, for scripts/check-cycles.
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/olai-libraries/${target}.txt
       CONTENT "$<JOIN:${objects},\n>\n")
endfunction()

# Test code is compiled without optimisation whatever the build type: it
# runs once per test, and GoogleTest's templates cost most of the build time
# when optimised. Libraries keep the build type's level (and the sanitizers).
# Tests find their data in the folder's tests/ and write into test-output/.
# Every test file reads GoogleTest's headers precompiled, from
# olai_test_headers (made next to find_package(GTest)).
function(olai_test_options target)
  target_compile_options(${target} PRIVATE -O0)
  target_precompile_headers(${target} REUSE_FROM olai_test_headers)
  target_compile_definitions(${target} PRIVATE
    OLAI_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests"
    OLAI_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}/test-output")
endfunction()

# olai_test(<name> [SOURCES files...] [DEPS targets...] [WORKDIR dir] [EACH])
# One GoogleTest program per call, registered with CTest as "<name>": the
# program runs all its tests in one process (ctest -R <name> runs that group;
# <name>_tests --gtest_filter=Suite.* runs part of it). Starting a sanitized
# program costs more than most tests, so one process a test would double the
# test run. EACH registers every test on its own as "<name>.<Suite>.<Test>",
# started before the others, for programs of a few long tests that would
# otherwise run one after another at the end of a parallel run.
# Without SOURCES, every .cpp in the folder's tests/ is used.
function(olai_test name)
  if(NOT OLAI_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "EACH" "WORKDIR" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  endif()
  if(NOT ARG_WORKDIR)
    set(ARG_WORKDIR ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  add_executable(${name}_tests ${ARG_SOURCES})
  olai_test_options(${name}_tests)
  target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_EACH)
    gtest_discover_tests(${name}_tests TEST_PREFIX "${name}." WORKING_DIRECTORY ${ARG_WORKDIR}
                         DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES COST 1000)
  else()
    add_test(NAME ${name} COMMAND ${name}_tests WORKING_DIRECTORY ${ARG_WORKDIR})
  endif()
endfunction()

# olai_test_groups(<prefix> [DEPS targets...] [SUPPORT files...] [DATA targets...]
#                  [WORKDIR dir])
# Test groups: tests/<group>_*.cpp build one program per group, registered as
# <prefix>_<group> (ctest -R <prefix>_<group>; ctest -R <prefix>_ runs them
# all). A new group needs no edit of the CMakeLists.txt. SUPPORT files, the
# fixtures the groups share, are compiled once into <prefix>_test_support, an
# object library whose files every group links; the DATA targets (data the tests read) are built
# before the groups; WORKDIR as for olai_test.
function(olai_test_groups prefix)
  if(NOT OLAI_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "WORKDIR" "DEPS;SUPPORT;DATA" ${ARGN})
  set(deps ${ARG_DEPS})
  if(ARG_SUPPORT)
    olai_test_support(${prefix}_test_support OBJECT SOURCES ${ARG_SUPPORT} DEPS ${ARG_DEPS})
    set(deps ${prefix}_test_support)
  endif()
  if(ARG_WORKDIR)
    set(workdir WORKDIR ${ARG_WORKDIR})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_*.cpp)
  set(groups "")
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME)
    string(REGEX REPLACE "_.*" "" group ${name})
    list(APPEND groups ${group})
    list(APPEND sources_${group} ${source})
  endforeach()
  list(REMOVE_DUPLICATES groups)
  foreach(group IN LISTS groups)
    olai_test(${prefix}_${group} SOURCES ${sources_${group}} DEPS ${deps} ${workdir})
    if(ARG_DATA)
      add_dependencies(${prefix}_${group}_tests ${ARG_DATA})
    endif()
  endforeach()
endfunction()

# olai_test_support(<target> [OBJECT] SOURCES files... [DEPS targets...])
# Code that several test programs share (hosts, fixtures, comparisons),
# compiled once like the tests themselves; nothing when tests are off.
# OBJECT links every file into every program, for code that defines what a
# program must (the shell's AppEventHandler) even where no test calls it.
function(olai_test_support target)
  if(NOT OLAI_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "OBJECT" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_OBJECT)
    add_library(${target} OBJECT ${ARG_SOURCES})
  else()
    add_library(${target} STATIC ${ARG_SOURCES})
  endif()
  olai_test_options(${target})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS} GTest::gtest)
endfunction()

# olai_bench(<name> SOURCES files... [DEPS targets...])
function(olai_bench name)
  if(NOT OLAI_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# olai_fuzz(<name> SOURCES files... [DEPS targets...])
# A target defines LLVMFuzzerTestOneInput. With OLAI_FUZZ and clang it is a
# libFuzzer program; otherwise it is linked with a replay driver, and CTest
# replays the seed corpus in fuzz/<name>/corpus (under the sanitizers in CI).
function(olai_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  if(OLAI_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    # The replay driver is compiled once for every target.
    if(NOT TARGET olai_fuzz_replay)
      add_library(olai_fuzz_replay STATIC ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    endif()
    target_link_libraries(fuzz_${name} PRIVATE olai_fuzz_replay)
  endif()
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/${name}/corpus)
  add_test(NAME fuzz_${name}.replay COMMAND fuzz_${name} ${corpus})
endfunction()

# Adds every sub-folder of the current folder that has a CMakeLists.txt
# (used by tools/, bench/ and fuzz/, where each program has its own folder).
function(olai_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
