# Every source file of the build, named. A file added to the tree must be
# added here too: configuration stops on a source file or test that no list
# names, so that nothing is left out of a binary or a test run in silence.

# The platform layer: what both systems share, then one file per concept
# for each system.
set(PLATFORM_SOURCES
  platform/DateText.cpp
  platform/FileTimes.cpp
  platform/Listing.cpp
  platform/Paths.cpp
  platform/TemporaryNames.cpp)
set(PLATFORM_POSIX_SOURCES
  platform/posix/Attributes.cpp
  platform/posix/Console.cpp
  platform/posix/Errors.cpp
  platform/posix/FileCopy.cpp
  platform/posix/LogFiles.cpp
  platform/posix/Folders.cpp
  platform/posix/Listing.cpp
  platform/posix/Locale.cpp
  platform/posix/Metadata.cpp
  platform/posix/Paths.cpp
  platform/posix/TemporaryFiles.cpp)
set(PLATFORM_WIN32_SOURCES
  platform/win32/Attributes.cpp
  platform/win32/Console.cpp
  platform/win32/Entries.cpp
  platform/win32/Errors.cpp
  platform/win32/FileCopy.cpp
  platform/win32/LogFiles.cpp
  platform/win32/Folders.cpp
  platform/win32/Listing.cpp
  platform/win32/Locale.cpp
  platform/win32/Names.cpp
  platform/win32/Security.cpp
  platform/win32/TemporaryFiles.cpp)
# The command line and the code pages: compiled into the library and into
# the program, each of which holds its own copy.
set(PROCESS_POSIX_SOURCES
  platform/posix/CodePages.cpp
  platform/posix/Process.cpp)
set(PROCESS_WIN32_SOURCES
  platform/win32/CodePages.cpp
  platform/win32/Process.cpp)
# The program's own platform code; holds no file-system code.
set(HOST_SOURCES
  platform/Host.cpp)
set(HOST_POSIX_SOURCES
  platform/posix/Host.cpp)
set(HOST_WIN32_SOURCES
  platform/win32/Host.cpp)
set(COMMAND_LINE_SOURCES
  core/CommandLine.cpp)
set(ENGINE_SOURCES
  core/EntryList.cpp
  core/Log.cpp
  core/Parser.cpp
  core/Purge.cpp
  core/Selection.cpp
  core/CopyAhead.cpp
  core/WorkPool.cpp
  core/Session.cpp
  core/TreeCopy.cpp
  core/Walker.cpp
  support/md5.cpp
  support/wildcard.cpp)
# The export glue of the shared library.
set(CORE_SOURCES
  core/exports.cpp)
set(FRONTEND_SOURCES
  frontend/Console.cpp
  frontend/FailureReport.cpp
  frontend/Program.cpp)
set(PROGRAM_SOURCES
  frontend/main.cpp)
# Headers the engine may include of the platform layer.
set(PLATFORM_VISIBLE_HEADERS
  platform/Entries.h
  platform/FileSystem.h
  platform/Platform.h
  platform/Process.h
  platform/Results.h
  platform/System.h)
# Headers the program may include besides veltrix/VeltrixCore.h.
set(PROGRAM_VISIBLE_HEADERS
  core/CommandLine.h
  core/Error.h
  platform/Host.h)

# The C host of examples/, built with the product; the linked host is a
# project of its own, built against an installed tree by the tests.
set(EXAMPLE_HOST_SOURCES
  examples/host/veltrix_host.c)
set(EXAMPLE_LOADER_POSIX examples/host/loader_posix.c)
set(EXAMPLE_LOADER_WIN32 examples/host/loader_win32.c)

set(UNIT_TEST_SOURCES
  core/CommandLine_test.cc
  core/EntryList_test.cc
  core/Log_test.cc
  core/Lookups_test.cc
  core/ParserHostile_test.cc
  core/Parser_test.cc
  core/Purge_test.cc
  core/Selection_test.cc
  core/Session_test.cc
  core/TreeCopy_test.cc
  core/CopyAhead_test.cc
  core/Walker_test.cc
  frontend/Console_test.cc
  frontend/Program_test.cc
  platform/FileLookups_test.cc
  platform/FileOps_test.cc
  platform/FileSystemWindows_test.cc
  platform/WindowsNames_test.cc
  platform/Locale_test.cc
  platform/NativeCopy_test.cc
  platform/PosixCopies_test.cc
  platform/Platform_test.cc
  support/md5_test.cc
  support/wildcard_test.cc
  tests/unit/MemoryFileSystem.cc
  tests/unit/MemoryFileSystem_test.cc
  tests/unit/MemoryFolders.cc
  tests/unit/MemoryPaths.cc
  tests/unit/Recorder.cc
  tests/unit/TempDir.cc)
set(E2E_TESTS
  tests/e2e/test_example_host.sh
  tests/e2e/test_frontend.sh
  tests/e2e/test_mirror.sh
  tests/e2e/test_output_order.sh
  tests/e2e/test_reports.sh
  tests/e2e/test_session.sh
  tests/e2e/test_switches.sh
  tests/e2e/test_threads.sh
  tests/e2e/test_times.sh
  tests/e2e/test_windows.sh)
set(FAULT_TESTS
  tests/faults/test_attributes_fallback.sh
  tests/faults/test_bind_inside.sh
  tests/faults/test_data_safety.sh
  tests/faults/test_deep_trees.sh
  tests/faults/test_dest_inside.sh
  tests/faults/test_disk_full.sh
  tests/faults/test_far_times.sh
  tests/faults/test_held_roots.sh
  tests/faults/test_killed.sh
  tests/faults/test_links_special.sh
  tests/faults/test_log_cmdline.sh
  tests/faults/test_lookups.sh
  tests/faults/test_metadata.sh
  tests/faults/test_log_safety.sh
  tests/faults/test_mirror_move.sh
  tests/faults/test_mirror_safety.sh
  tests/faults/test_move_safety.sh
  tests/faults/test_names.sh
  tests/faults/test_race.sh
  tests/faults/test_read_errors.sh
  tests/faults/test_same_file.sh
  tests/faults/test_verify.sh)
# Checks of the build products and the installed tree.
set(PRODUCT_TESTS
  tests/product/test_exports.sh
  tests/product/test_install.sh
  tests/product/test_man_page.sh
  tests/product/test_package.sh
  tests/product/test_platform_isolation.sh)

# Files that no list above names, but that belong to another build or are
# shared pieces included by a listed file.
set(SOURCES_ELSEWHERE
  bench/md5_bench.cpp
  examples/linked/main.cpp
  tests/faults/race_helper.c
  tests/faults/shim.c)

function(veltrix_check_source_lists)
  file(GLOB_RECURSE present RELATIVE ${CMAKE_SOURCE_DIR}
    ${CMAKE_SOURCE_DIR}/core/*.cpp ${CMAKE_SOURCE_DIR}/core/*.cc
    ${CMAKE_SOURCE_DIR}/frontend/*.cpp ${CMAKE_SOURCE_DIR}/frontend/*.cc
    ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.cc
    ${CMAKE_SOURCE_DIR}/support/*.cpp ${CMAKE_SOURCE_DIR}/support/*.cc
    ${CMAKE_SOURCE_DIR}/tests/*.cc ${CMAKE_SOURCE_DIR}/tests/*.cpp ${CMAKE_SOURCE_DIR}/tests/*.c
    ${CMAKE_SOURCE_DIR}/tests/*/test_*.sh ${CMAKE_SOURCE_DIR}/bench/*.cpp
    ${CMAKE_SOURCE_DIR}/examples/*.c ${CMAKE_SOURCE_DIR}/examples/*.cpp)
  set(listed ${PLATFORM_SOURCES} ${PLATFORM_POSIX_SOURCES} ${PLATFORM_WIN32_SOURCES}
      ${PROCESS_POSIX_SOURCES} ${PROCESS_WIN32_SOURCES} ${HOST_SOURCES} ${HOST_POSIX_SOURCES}
      ${HOST_WIN32_SOURCES} ${COMMAND_LINE_SOURCES} ${ENGINE_SOURCES}
      ${CORE_SOURCES} ${FRONTEND_SOURCES} ${PROGRAM_SOURCES} ${UNIT_TEST_SOURCES} ${E2E_TESTS}
      ${FAULT_TESTS} ${PRODUCT_TESTS} ${EXAMPLE_HOST_SOURCES} ${EXAMPLE_LOADER_POSIX}
      ${EXAMPLE_LOADER_WIN32} ${SOURCES_ELSEWHERE})
  set(missing)
  foreach(file ${present})
    if(NOT file IN_LIST listed)
      list(APPEND missing ${file})
    endif()
  endforeach()
  foreach(file ${listed})
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${file})
      list(APPEND missing "${file} (listed, but not in the tree)")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing "\n  " text)
    message(FATAL_ERROR "cmake/Sources.cmake does not match the tree:\n  ${text}")
  endif()
endfunction()
veltrix_check_source_lists()
