# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE, its generator
# expressions filled in by the build), for the dependencies of two packages:
#  - the program's: CPack's dpkg-shlibdeps must find the library the program
#    links, which no installed package holds: the build's own is named to it
#    (the program's package depends on the library's package by name);
#  - the library's: what dpkg-shlibdeps finds the built library needs, as
#    CPack would find it for a package it writes ldconfig scripts for (see
#    Debian.cmake).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "$<TARGET_FILE_DIR:VeltrixCore>")
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT DEFINED CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS)
  find_program(VELTRIX_SHLIBDEPS dpkg-shlibdeps)
  if(NOT VELTRIX_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed for the Debian packages")
  endif()
  # dpkg-shlibdeps wants a debian/control beside it, even an empty one.
  string(RANDOM LENGTH 12 vx_id)
  set(vx_work "${CPACK_PACKAGE_DIRECTORY}/_shlibdeps-${vx_id}")
  file(MAKE_DIRECTORY "${vx_work}/debian")
  file(TOUCH "${vx_work}/debian/control")
  execute_process(COMMAND "${VELTRIX_SHLIBDEPS}" -O "$<TARGET_FILE:VeltrixCore>"
    WORKING_DIRECTORY "${vx_work}"
    OUTPUT_VARIABLE vx_depends ERROR_VARIABLE vx_error RESULT_VARIABLE vx_result
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REMOVE_RECURSE "${vx_work}")
  if(NOT vx_result EQUAL 0 OR NOT vx_depends MATCHES "^shlibs:Depends=.")
    message(FATAL_ERROR "dpkg-shlibdeps on the library: ${vx_error}${vx_depends}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${vx_depends}")
endif()
