# The three Debian packages, one per install component (see Install.cmake),
# installed under /usr. Included by Install.cmake, which names them.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELTRIX_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE veltrix)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.morlane.fr/veltrix)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Files of the single package `veltrix` that earlier releases made moved to
# the library's packages: an upgrade replaces them.
set(vx_earlier "veltrix (<< ${VELTRIX_DEB_VERSION})")

set(vx_about
"VeltrixCore copies files and whole directory trees: it selects files by
date or age, size, name masks and attributes, verifies copies by MD5, moves,
mirrors and synchronises trees in both directions, and keeps a log. Its
messages are in French.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${VELTRIX_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "copy engine of Veltrix - shared library
${vx_about}
Programs drive it through five C functions.

This package holds the shared library.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_BREAKS "${vx_earlier}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_REPLACES "${vx_earlier}")
# CPack would give a package holding a library maintainer scripts that call
# ldconfig; Debian wants the ldconfig trigger instead. So the library's
# package ships its own shlibs and triggers.
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/debian/shlibs.in ${VELTRIX_PACKAGE_DIR}/debian/shlibs @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/debian/triggers ${VELTRIX_PACKAGE_DIR}/debian/triggers COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${VELTRIX_PACKAGE_DIR}/debian/shlibs ${VELTRIX_PACKAGE_DIR}/debian/triggers)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${VELTRIX_DEB_DEVELOPMENT})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "copy engine of Veltrix - development files
${vx_about}

This package holds the C header veltrix/VeltrixCore.h, the link to the
shared library, the pkg-config file and the CMake package VeltrixCore.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${VELTRIX_DEB_RUNTIME} (= ${VELTRIX_DEB_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_BREAKS "${vx_earlier}")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_REPLACES "${vx_earlier}")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME ${VELTRIX_DEB_PROGRAM})
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "copy files and directory trees from the command line
Veltrix copies files, wildcard masks and whole trees into one or more
folders: it selects files by date or age, size, name masks and attributes,
verifies copies by MD5, moves, mirrors and synchronises trees in both
directions, and keeps a log. Its messages are in French.

The command is Veltrix, or veltrix; man Veltrix shows the manual.")

# The library's and the program's dependencies on the C and C++ runtimes come
# from dpkg-shlibdeps at cpack time (DebianDepends.cmake), which names none of
# these packages; the program's on the library is this one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_VELTRIX_OWN_PACKAGES ${VELTRIX_DEB_RUNTIME} ${VELTRIX_DEB_DEVELOPMENT} ${VELTRIX_DEB_PROGRAM})
set(CPACK_VELTRIX_PROGRAM_DEPENDS "${VELTRIX_DEB_RUNTIME} (>= ${PROJECT_VERSION})")
file(GENERATE OUTPUT ${VELTRIX_PACKAGE_DIR}/DebianDepends.cmake
     INPUT ${CMAKE_SOURCE_DIR}/cmake/package/DebianDepends.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${VELTRIX_PACKAGE_DIR}/DebianDepends.cmake)
