# What `cmake --install` puts where, the files other builds find the library
# by (CMake package, pkg-config), and the packages CPack makes of it.
include(CMakePackageConfigHelpers)

set(VELTRIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VeltrixCore)

install(TARGETS Veltrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VeltrixCore EXPORT VeltrixCoreTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veltrix)
install(EXPORT VeltrixCoreTargets NAMESPACE Veltrix:: DESTINATION ${VELTRIX_CMAKE_DIR})

configure_package_config_file(cmake/package/VeltrixCoreConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VeltrixCoreConfig.cmake INSTALL_DESTINATION ${VELTRIX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VeltrixCoreConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/VeltrixCoreConfig.cmake
              ${CMAKE_BINARY_DIR}/package/VeltrixCoreConfigVersion.cmake
        DESTINATION ${VELTRIX_CMAKE_DIR})

configure_file(cmake/package/VeltrixCore.pc.in ${CMAKE_BINARY_DIR}/package/VeltrixCore.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/VeltrixCore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(WIN32)
  install(FILES README.md DESTINATION .)
  if(VELTRIX_I686)
    # The runtime libgcc that both binaries share (see CMakeLists.txt), and
    # the thread library it needs.
    foreach(runtime libgcc_s_dw2-1.dll libwinpthread-1.dll)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${runtime} not found beside the i686 compiler")
      endif()
      list(APPEND VELTRIX_RUNTIME_DLLS ${path})
    endforeach()
    install(FILES ${VELTRIX_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
else()
  install(FILES man/Veltrix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES man/Veltrix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/fr/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# ---- Packages ------------------------------------------------------------------
set(CPACK_PACKAGE_NAME veltrix)
set(CPACK_PACKAGE_VENDOR Morlane)
set(CPACK_PACKAGE_CONTACT "Morlane <veltrix@morlane.fr>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Copy files and directory trees, with a copy engine library")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(VELTRIX_I686)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.morlane.fr/veltrix)
  # The summary above is the first line; these follow it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Veltrix copies files and whole trees from the command line: filters by
date, size, name and attributes, MD5 verification, move, mirror, two-way
synchronisation and a log. Its messages are in French. The package also
holds the copy engine VeltrixCore as a shared library with its C header,
pkg-config and CMake files.")
  # The dependencies are those of the binaries' own links (libc, libstdc++).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
include(CPack)
