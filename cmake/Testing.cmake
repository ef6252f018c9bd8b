# The test suites. The i686 build cannot run its programs on this machine
# (no 32-bit code): it gets the checks that read its binaries and packages.
set(VX_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)
set(VX_UNDER_WINE OFF)
if(CMAKE_CROSSCOMPILING AND NOT VELTRIX_I686)
  set(VX_UNDER_WINE ON)
endif()
# A toolchain file named relative to the build or the source tree, as
# CMake accepts it, must still be found by the tests that configure builds
# of their own elsewhere.
set(vx_toolchain_file "${CMAKE_TOOLCHAIN_FILE}")
if(vx_toolchain_file AND NOT IS_ABSOLUTE "${vx_toolchain_file}")
  if(EXISTS "${CMAKE_BINARY_DIR}/${vx_toolchain_file}")
    get_filename_component(vx_toolchain_file "${vx_toolchain_file}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
  else()
    get_filename_component(vx_toolchain_file "${vx_toolchain_file}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
  endif()
endif()
set(VX_TEST_ENVIRONMENT
  "VX_BIN=$<TARGET_FILE:Veltrix>"
  "VX_CORE=$<TARGET_FILE:VeltrixCore>"
  "VX_HOST=$<TARGET_FILE:veltrix_host>"
  "VX_WINE=$<BOOL:${VX_UNDER_WINE}>"
  "VX_WINE_RUN=${VX_WINE_RUN}"
  "VX_BUILD_DIR=${CMAKE_BINARY_DIR}"
  "VX_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "VX_WIDTH=$<IF:$<BOOL:${VELTRIX_I686}>,32,64>"
  "VX_OBJDUMP=${CMAKE_OBJDUMP}"
  "VX_NM=${CMAKE_NM}"
  "VX_C_COMPILER=${CMAKE_C_COMPILER}"
  "VX_CXX_COMPILER=${CMAKE_CXX_COMPILER}"
  "VX_TOOLCHAIN_FILE=${vx_toolchain_file}")

# The sanitizers' dlopen runs from their runtime, whose run path is empty:
# a library loaded by name (the help page's in the unit tests, the example
# host's) is then found through the loader's path only.
if(VELTRIX_SANITIZE)
  list(APPEND VX_TEST_ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}")
endif()

function(veltrix_script_tests prefix timeout)
  foreach(script ${ARGN})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME ${prefix}.${name} COMMAND bash ${CMAKE_SOURCE_DIR}/${script})
    set_tests_properties(${prefix}.${name} PROPERTIES TIMEOUT ${timeout}
      ENVIRONMENT "${VX_TEST_ENVIRONMENT};VX_SHIM=${VX_FAULT_SHIM};VX_RACE_HELPER=${VX_RACE_HELPER}")
  endforeach()
endfunction()

# Reading the binaries, the sources and the packages: every target. An
# instrumented build is no product: it is neither installed nor packaged.
set(product_tests ${PRODUCT_TESTS})
if(VELTRIX_SANITIZE)
  list(REMOVE_ITEM product_tests tests/product/test_install.sh tests/product/test_package.sh)
endif()
veltrix_script_tests(product 600 ${product_tests})

# The program cannot reach the engine's internal headers: a source of the
# program's that includes one does not compile.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/probe/includes_engine.cpp
     CONTENT "#include \"core/Session.h\"\n")
add_library(veltrix_include_probe OBJECT EXCLUDE_FROM_ALL ${CMAKE_BINARY_DIR}/probe/includes_engine.cpp)
target_link_libraries(veltrix_include_probe PRIVATE VeltrixFrontend)
add_test(NAME product.program_cannot_include_engine
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target veltrix_include_probe)
set_tests_properties(product.program_cannot_include_engine PROPERTIES
  PASS_REGULAR_EXPRESSION "core/Session\\.h: No such file"
  # The compiler's message is matched in English, whatever the user's language.
  ENVIRONMENT "LC_ALL=C")

if(VELTRIX_I686)
  return()
endif()

# GoogleTest: the system's package natively, its sources for the cross build.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  # Its options as plain variables, which its option() calls take (CMP0077).
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
  set(gtest_disable_pthreads ${WIN32})
  set(INSTALL_GTEST OFF)
  set(BUILD_GMOCK OFF)
  set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
include(GoogleTest)

add_executable(veltrix_tests ${UNIT_TEST_SOURCES})
target_link_libraries(veltrix_tests PRIVATE VeltrixEngine VeltrixFrontend GTest::gtest_main veltrix_flags)
target_include_directories(veltrix_tests PRIVATE ${CMAKE_SOURCE_DIR})
# The help page is read from the library, loaded by name beside the tests.
add_dependencies(veltrix_tests VeltrixCore)
set_target_properties(veltrix_tests PROPERTIES BUILD_RPATH "$ORIGIN")

if(CMAKE_CROSSCOMPILING)
  # One CTest entry: every Wine start costs a second or more.
  add_test(NAME unit COMMAND veltrix_tests)
else()
  set(unit_properties)
  if(VELTRIX_SANITIZE)
    set(unit_properties PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}")
  endif()
  gtest_discover_tests(veltrix_tests DISCOVERY_TIMEOUT 60 ${unit_properties})
endif()

# Fault scripts drive the built program under faults root cannot override.
# On Linux they get a shim, preloaded to make chosen system calls fail.
set(VX_FAULT_SHIM "")
set(VX_RACE_HELPER "")
if(NOT CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_library(veltrix_fault_shim MODULE ${CMAKE_SOURCE_DIR}/tests/faults/shim.c)
  target_link_libraries(veltrix_fault_shim PRIVATE veltrix_warnings)
  # Preloaded before any sanitizer runtime: it must not carry one itself.
  target_compile_options(veltrix_fault_shim PRIVATE -fno-sanitize=all)
  target_link_options(veltrix_fault_shim PRIVATE -fno-sanitize=all)
  target_link_libraries(veltrix_fault_shim PRIVATE ${CMAKE_DL_LIBS})
  add_dependencies(veltrix_tests veltrix_fault_shim)
  set(VX_FAULT_SHIM $<TARGET_FILE:veltrix_fault_shim>)
  # The race harness swaps folders for links while a run walks them.
  add_executable(veltrix_race_helper ${CMAKE_SOURCE_DIR}/tests/faults/race_helper.c)
  target_link_libraries(veltrix_race_helper PRIVATE veltrix_warnings)
  target_compile_options(veltrix_race_helper PRIVATE -fno-sanitize=all)
  target_link_options(veltrix_race_helper PRIVATE -fno-sanitize=all)
  add_dependencies(veltrix_tests veltrix_race_helper)
  set(VX_RACE_HELPER $<TARGET_FILE:veltrix_race_helper>)
endif()

# End-to-end tests drive the built program on real trees.
veltrix_script_tests(e2e 300 ${E2E_TESTS})
veltrix_script_tests(faults 180 ${FAULT_TESTS})
# A hundred runs against a swapping helper: slower under the sanitizers.
if(TEST faults.test_race)
  set_tests_properties(faults.test_race PROPERTIES TIMEOUT 900)
endif()
