# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE, its generator
# expressions filled in by the build): the dependencies of the library's and
# the program's packages, from what dpkg-shlibdeps finds their built binaries
# need. Run here rather than by CPack (see Debian.cmake):
#  - CPack would give the library's package maintainer scripts that call
#    ldconfig, where Debian wants the trigger the package ships;
#  - the program's library is the packages' own: whatever package of it the
#    building system has installed (an earlier release's `veltrix`, say) must
#    not become a dependency. The library's package is named instead.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(VELTRIX_SHLIBDEPS dpkg-shlibdeps)
if(NOT VELTRIX_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps (package dpkg-dev) is needed for the Debian packages")
endif()

function(veltrix_shlibdeps binary result)
  # dpkg-shlibdeps wants a debian/control beside it, even an empty one.
  string(RANDOM LENGTH 12 id)
  set(work "${CPACK_PACKAGE_DIRECTORY}/_shlibdeps-${id}")
  file(MAKE_DIRECTORY "${work}/debian")
  file(TOUCH "${work}/debian/control")
  set(own)
  foreach(package IN LISTS CPACK_VELTRIX_OWN_PACKAGES)
    list(APPEND own "-x${package}")
  endforeach()
  execute_process(COMMAND "${VELTRIX_SHLIBDEPS}" --ignore-missing-info
                          "-l$<TARGET_FILE_DIR:VeltrixCore>" ${own} -O "${binary}"
    WORKING_DIRECTORY "${work}"
    OUTPUT_VARIABLE depends ERROR_VARIABLE error RESULT_VARIABLE status
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REMOVE_RECURSE "${work}")
  if(NOT status EQUAL 0 OR NOT depends MATCHES "^shlibs:Depends=.")
    message(FATAL_ERROR "dpkg-shlibdeps on ${binary}: ${error}${depends}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" depends "${depends}")
  set(${result} "${depends}" PARENT_SCOPE)
endfunction()

veltrix_shlibdeps("$<TARGET_FILE:VeltrixCore>" CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS)
veltrix_shlibdeps("$<TARGET_FILE:Veltrix>" vx_program)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "${CPACK_VELTRIX_PROGRAM_DEPENDS}, ${vx_program}")
