# GoogleTest: the system's package natively, its sources for the cross build.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  set(gtest_disable_pthreads ${WIN32} CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
include(GoogleTest)

file(GLOB_RECURSE UNIT_TESTS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/core/*_test.cc ${CMAKE_SOURCE_DIR}/support/*_test.cc
  ${CMAKE_SOURCE_DIR}/platform/*_test.cc ${CMAKE_SOURCE_DIR}/frontend/*_test.cc
  ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cc ${CMAKE_SOURCE_DIR}/tests/unit/TempDir.cc ${CMAKE_SOURCE_DIR}/tests/unit/Recorder.cc)
add_executable(veltrix_tests ${UNIT_TESTS})
target_link_libraries(veltrix_tests PRIVATE VeltrixEngine VeltrixFrontend GTest::gtest_main)
target_include_directories(veltrix_tests PRIVATE ${CMAKE_SOURCE_DIR})

if(CMAKE_CROSSCOMPILING)
  # One CTest entry: every Wine start costs a second or more.
  add_test(NAME unit COMMAND veltrix_tests)
else()
  gtest_discover_tests(veltrix_tests DISCOVERY_TIMEOUT 60)
endif()

# End-to-end tests drive the built program on real trees.
file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.sh)
foreach(script ${E2E_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e.${name} COMMAND bash ${script})
  set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 300 ENVIRONMENT
    "VX_BIN=$<TARGET_FILE:Veltrix>;VX_WINE=$<BOOL:${CMAKE_CROSSCOMPILING}>;VX_WINE_RUN=${CMAKE_SOURCE_DIR}/cmake/wine-run.sh")
endforeach()

# Fault scripts drive the built program under faults root cannot override.
# On Linux they get a shim, preloaded to make chosen system calls fail.
set(VX_FAULT_SHIM "")
set(VX_RACE_HELPER "")
if(NOT CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_library(veltrix_fault_shim MODULE ${CMAKE_SOURCE_DIR}/tests/faults/shim.c)
  # Preloaded before any sanitizer runtime: it must not carry one itself.
  target_compile_options(veltrix_fault_shim PRIVATE -fno-sanitize=all)
  target_link_options(veltrix_fault_shim PRIVATE -fno-sanitize=all)
  target_link_libraries(veltrix_fault_shim PRIVATE ${CMAKE_DL_LIBS})
  add_dependencies(veltrix_tests veltrix_fault_shim)
  set(VX_FAULT_SHIM $<TARGET_FILE:veltrix_fault_shim>)
  # The race harness swaps folders for links while a run walks them.
  add_executable(veltrix_race_helper ${CMAKE_SOURCE_DIR}/tests/faults/race_helper.c)
  target_compile_options(veltrix_race_helper PRIVATE -fno-sanitize=all)
  target_link_options(veltrix_race_helper PRIVATE -fno-sanitize=all)
  add_dependencies(veltrix_tests veltrix_race_helper)
  set(VX_RACE_HELPER $<TARGET_FILE:veltrix_race_helper>)
endif()
file(GLOB FAULT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/faults/test_*.sh)
foreach(script ${FAULT_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME faults.${name} COMMAND bash ${script})
  set_tests_properties(faults.${name} PROPERTIES TIMEOUT 180 ENVIRONMENT
    "VX_BIN=$<TARGET_FILE:Veltrix>;VX_WINE=$<BOOL:${CMAKE_CROSSCOMPILING}>;VX_WINE_RUN=${CMAKE_SOURCE_DIR}/cmake/wine-run.sh;VX_SHIM=${VX_FAULT_SHIM};VX_RACE_HELPER=${VX_RACE_HELPER}")
endforeach()
# A hundred runs against a swapping helper: slower under the sanitizers.
if(TEST faults.test_race)
  set_tests_properties(faults.test_race PROPERTIES TIMEOUT 600)
endif()
