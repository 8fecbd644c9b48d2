# Shared settings for the project's own targets. Third-party targets (GoogleTest,
# Dear ImGui) do not get these: their warnings are not ours to fix.

set(VELMOR_WARNINGS -Wall -Wextra -Werror -Wshadow=local -Wnon-virtual-dtor)
# GCC 12 reports false -Wrestrict overlaps inside libstdc++'s string
# concatenation at -O2 and above (GCC bug 105329); the warning is not ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND VELMOR_WARNINGS -Wno-restrict)
endif()
# Clang (the fuzz preset) spells GCC's -Wshadow=local differently.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  list(TRANSFORM VELMOR_WARNINGS REPLACE "^-Wshadow=local$" "-Wshadow-uncaptured-local")
endif()

# Sanitizers for a native build (the native-asan preset sets address,undefined).
# They apply to every target, GoogleTest included, so that memory handed
# across the test framework is checked too; any report ends the program.
set(VELMOR_SANITIZERS "" CACHE STRING "Comma-separated -fsanitize= list for a native build; empty for none")
if(VELMOR_SANITIZERS)
  if(WIN32)
    message(FATAL_ERROR "VELMOR_SANITIZERS is for the native build only")
  endif()
  add_compile_options(-fsanitize=${VELMOR_SANITIZERS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${VELMOR_SANITIZERS})
endif()

# libFuzzer targets (the fuzz preset, tests/fuzz): clang 14 only. Every target
# gets the fuzzer's coverage instrumentation; only the fuzz programs link its
# main. Kept out of the other builds, so gcc builds need no clang.
option(VELMOR_FUZZ "Build the libFuzzer targets in tests/fuzz (clang only)" OFF)
if(VELMOR_FUZZ)
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMOR_FUZZ needs a native clang build (cmake --preset fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The byte-level tests: built natively from code with no Windows header and
# needing no running server. They carry the CTest label "byte_level", and the
# target velmor_byte_level_tests builds just them (the sanitizer run uses both).
set(VELMOR_BYTE_LEVEL_TESTS json_value_test request_text_test session_rules_test placement_test display_text_test
  websocket_protocol_test server_text_rules_test server_community_test server_demo_bots_test)
if(NOT WIN32)
  add_custom_target(velmor_byte_level_tests)
  # A renamed or removed test must not silently drop out of the sanitizer run.
  function(velmor_check_byte_level_tests)
    foreach(test_name IN LISTS VELMOR_BYTE_LEVEL_TESTS)
      if(NOT TARGET ${test_name})
        message(FATAL_ERROR "byte-level test ${test_name} (cmake/VelmorTargets.cmake) is not defined")
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL velmor_check_byte_level_tests)
endif()

function(velmor_defaults target)
  target_compile_options(${target} PRIVATE ${VELMOR_WARNINGS})
  if(WIN32)
    # Unicode everywhere; Windows 7 is the oldest supported system, so newer
    # entry points are looked up at run time instead of imported.
    target_compile_definitions(${target} PRIVATE
      UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
      _WIN32_WINNT=0x0601 WINVER=0x0601)
  endif()
endfunction()

# velmor_library(name [WINDOWS_ONLY] SOURCES ... LIBS ...)
function(velmor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  velmor_defaults(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# Windows test programs of one run share one Wine prefix, so one registry; each
# gets a HKEY_CURRENT_USER of its own from this file, so they can run side by
# side. (End-to-end scenarios run in prefixes of their own.)
if(WIN32)
  set(VELMOR_PRIVATE_REGISTRY ${PROJECT_SOURCE_DIR}/tests/support/private_registry.cpp)
endif()

# velmor_test(name [DESKTOP] SOURCES ... LIBS ...): a GoogleTest executable
# registered with CTest. In the cross build CTest runs it through Wine (the
# toolchain's emulator). DESKTOP marks a program that shows windows or reads
# the foreground window, focus or cursor of the run's one X display: such
# programs run one at a time, the others beside them.
function(velmor_test name)
  cmake_parse_arguments(ARG "DESKTOP" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${VELMOR_PRIVATE_REGISTRY})
  velmor_defaults(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests
    ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  if(ARG_DESKTOP)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
  if(NOT WIN32 AND name IN_LIST VELMOR_BYTE_LEVEL_TESTS)
    set_tests_properties(${name} PROPERTIES LABELS byte_level)
    add_dependencies(velmor_byte_level_tests ${name})
  endif()
endfunction()

# velmor_benchmark(name SOURCES ... LIBS ...): a plain executable that prints its
# measurements; never run by the tests.
function(velmor_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  velmor_defaults(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# velmor_server_test(name SOURCES ... LIBS ... [SERVER_OPTIONS ...]): a Windows
# GoogleTest program that runs against the local community server on
# 127.0.0.1:443, started around it by scripts/lib/with_local_server.sh. Only
# one such test holds the port at a time.
function(velmor_server_test name)
  cmake_parse_arguments(ARG "DESKTOP" "TIMEOUT" "SOURCES;LIBS;SERVER_OPTIONS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${VELMOR_PRIVATE_REGISTRY})
  velmor_defaults(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests
    ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmor_server_control GTest::gtest_main)
  add_test(NAME ${name}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/lib/with_local_server.sh ${ARG_SERVER_OPTIONS} -- $<TARGET_FILE:${name}>)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(locks port443)
  if(ARG_DESKTOP)
    list(APPEND locks desktop)
  endif()
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}" TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "VELMOR_NATIVE_BIN_DIR=${VELMOR_NATIVE_BIN_DIR}")
endfunction()
