# What `cmake --install` puts where, the files other builds find the library
# by (CMake package, pkg-config), and the packages CPack makes of it.
#
# Three install components, which the Debian packages follow:
#   runtime      the shared library (the DLL and, for i686, its runtime DLLs)
#   development  header, .so link or import library, pkg-config, CMake package
#   program      the console program, its lower-case link, manual pages, README
# A plain `cmake --install` installs all three; Debian's own files (copyright,
# changelog, lintian overrides) go into the packages only.
include(CMakePackageConfigHelpers)

set(VELTRIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VeltrixCore)
set(VELTRIX_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

install(TARGETS Veltrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(TARGETS VeltrixCore EXPORT VeltrixCoreTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veltrix COMPONENT development)
install(EXPORT VeltrixCoreTargets NAMESPACE Veltrix:: DESTINATION ${VELTRIX_CMAKE_DIR}
        COMPONENT development)

configure_package_config_file(cmake/package/VeltrixCoreConfig.cmake.in
  ${VELTRIX_PACKAGE_DIR}/VeltrixCoreConfig.cmake INSTALL_DESTINATION ${VELTRIX_CMAKE_DIR})
write_basic_package_version_file(${VELTRIX_PACKAGE_DIR}/VeltrixCoreConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${VELTRIX_PACKAGE_DIR}/VeltrixCoreConfig.cmake
              ${VELTRIX_PACKAGE_DIR}/VeltrixCoreConfigVersion.cmake
        DESTINATION ${VELTRIX_CMAKE_DIR} COMPONENT development)

if(WIN32)
  # A zip unpacks anywhere: the prefix is found from the file itself.
  set(VELTRIX_PC_PREFIX "\${pcfiledir}/../..")
  configure_file(cmake/package/VeltrixCore.pc.in ${VELTRIX_PACKAGE_DIR}/VeltrixCore.pc @ONLY)
  install(FILES ${VELTRIX_PACKAGE_DIR}/VeltrixCore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
else()
  # The prefix as the install gives it (/usr in the packages), so that
  # pkg-config prints plain paths; written at install time, one file per
  # destination, since two installs of one build may run at once.
  set(VELTRIX_PC_PREFIX "@VELTRIX_PC_PREFIX@")
  configure_file(cmake/package/VeltrixCore.pc.in ${VELTRIX_PACKAGE_DIR}/VeltrixCore.pc.in @ONLY)
  install(CODE "
    set(VELTRIX_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    string(MD5 destination \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(pc \"${VELTRIX_PACKAGE_DIR}/pkgconfig-\${destination}/VeltrixCore.pc\")
    configure_file(\"${VELTRIX_PACKAGE_DIR}/VeltrixCore.pc.in\" \"\${pc}\" @ONLY)
    file(INSTALL \"\${pc}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
    get_filename_component(folder \"\${pc}\" DIRECTORY)
    file(REMOVE_RECURSE \"\${folder}\")"
    COMPONENT development)
endif()

if(WIN32)
  if(VELTRIX_I686)
    set(VELTRIX_WINDOWS_WIDTH "32 bits")
    set(VELTRIX_WINDOWS_RUNTIME_NOTE ",\n  avec libgcc_s_dw2-1.dll et libwinpthread-1.dll")
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
    install(FILES ${VELTRIX_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  else()
    set(VELTRIX_WINDOWS_WIDTH "64 bits")
    set(VELTRIX_WINDOWS_RUNTIME_NOTE "")
  endif()
  # For Windows users: UTF-8 with its byte order mark, every line (those of
  # the notes above too) ended by CR LF.
  file(READ cmake/package/windows/LISEZMOI.txt.in text)
  string(CONFIGURE "${text}" text @ONLY)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${VELTRIX_PACKAGE_DIR}/LISEZMOI.txt.new "${text}")
  configure_file(${VELTRIX_PACKAGE_DIR}/LISEZMOI.txt.new ${VELTRIX_PACKAGE_DIR}/LISEZMOI.txt COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS cmake/package/windows/LISEZMOI.txt.in)
  install(FILES README.md ${VELTRIX_PACKAGE_DIR}/LISEZMOI.txt DESTINATION . COMPONENT program)
else()
  # Manual pages are gzipped (-n: no name or time inside, so that two builds
  # give the same bytes); `veltrix` is a link to the program and its page.
  find_program(VELTRIX_GZIP gzip REQUIRED)
  set(VELTRIX_DEB_REVISION 1)
  set(VELTRIX_DEB_VERSION ${PROJECT_VERSION}-${VELTRIX_DEB_REVISION})
  configure_file(cmake/package/debian/changelog.in ${VELTRIX_PACKAGE_DIR}/changelog.Debian @ONLY)
  add_custom_command(OUTPUT ${VELTRIX_PACKAGE_DIR}/Veltrix.1.gz ${VELTRIX_PACKAGE_DIR}/changelog.Debian.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/man/Veltrix.1 ${VELTRIX_PACKAGE_DIR}/gz/Veltrix.1
    COMMAND ${CMAKE_COMMAND} -E copy ${VELTRIX_PACKAGE_DIR}/changelog.Debian ${VELTRIX_PACKAGE_DIR}/gz/changelog.Debian
    COMMAND ${VELTRIX_GZIP} -9nf ${VELTRIX_PACKAGE_DIR}/gz/Veltrix.1 ${VELTRIX_PACKAGE_DIR}/gz/changelog.Debian
    COMMAND ${CMAKE_COMMAND} -E rename ${VELTRIX_PACKAGE_DIR}/gz/Veltrix.1.gz ${VELTRIX_PACKAGE_DIR}/Veltrix.1.gz
    COMMAND ${CMAKE_COMMAND} -E rename ${VELTRIX_PACKAGE_DIR}/gz/changelog.Debian.gz
                                       ${VELTRIX_PACKAGE_DIR}/changelog.Debian.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/man/Veltrix.1 ${VELTRIX_PACKAGE_DIR}/changelog.Debian
    VERBATIM)
  add_custom_target(veltrix_compressed_docs ALL
    DEPENDS ${VELTRIX_PACKAGE_DIR}/Veltrix.1.gz ${VELTRIX_PACKAGE_DIR}/changelog.Debian.gz)
  file(MAKE_DIRECTORY ${VELTRIX_PACKAGE_DIR}/links ${VELTRIX_PACKAGE_DIR}/gz)
  file(CREATE_LINK Veltrix ${VELTRIX_PACKAGE_DIR}/links/veltrix SYMBOLIC)
  file(CREATE_LINK Veltrix.1.gz ${VELTRIX_PACKAGE_DIR}/links/veltrix.1.gz SYMBOLIC)

  foreach(dir man1 fr/man1)
    install(FILES ${VELTRIX_PACKAGE_DIR}/Veltrix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${dir}
            COMPONENT program)
  endforeach()
  # A link goes only where no file of its name is: in a folder whose names
  # ignore case (ext4 casefold) `veltrix` is the program or its page itself,
  # which the link would replace with a link to itself.
  install(CODE "
    foreach(link ${CMAKE_INSTALL_BINDIR}/veltrix ${CMAKE_INSTALL_MANDIR}/man1/veltrix.1.gz
                 ${CMAKE_INSTALL_MANDIR}/fr/man1/veltrix.1.gz)
      set(path \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${link}\")
      get_filename_component(name \"\${link}\" NAME)
      get_filename_component(folder \"\${link}\" DIRECTORY)
      if(EXISTS \"\${path}\" AND NOT IS_SYMLINK \"\${path}\")
        message(STATUS \"Not replaced by a link: \${path}\")
      else()
        file(INSTALL \"${VELTRIX_PACKAGE_DIR}/links/\${name}\"
             DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${folder}\")
      endif()
    endforeach()" COMPONENT program)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)

  # Debian's own files, in the packages only: each package's copyright,
  # changelog and lintian overrides.
  set(VELTRIX_DEB_RUNTIME libveltrixcore${PROJECT_VERSION_MAJOR})
  set(VELTRIX_DEB_DEVELOPMENT libveltrixcore-dev)
  set(VELTRIX_DEB_PROGRAM veltrix)
  foreach(component runtime development program)
    string(TOUPPER ${component} upper)
    set(package ${VELTRIX_DEB_${upper}})
    install(FILES cmake/package/debian/copyright ${VELTRIX_PACKAGE_DIR}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
    configure_file(cmake/package/debian/${component}.lintian-overrides
                   ${VELTRIX_PACKAGE_DIR}/lintian/${package} @ONLY)
    install(FILES ${VELTRIX_PACKAGE_DIR}/lintian/${package}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()

# ---- Packages ------------------------------------------------------------------
set(CPACK_PACKAGE_NAME veltrix)
set(CPACK_PACKAGE_VENDOR Morlane)
set(CPACK_PACKAGE_CONTACT "Morlane <veltrix@morlane.fr>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development program)
if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Copy files and directory trees, with a copy engine library")
  # One zip of all three components.
  set(CPACK_GENERATOR ZIP)
  if(VELTRIX_I686)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(cmake/package/Debian.cmake)
endif()
include(CPack)
