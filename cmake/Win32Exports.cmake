# The 32-bit DLL: stdcall symbols carry their argument size
# (ProcessCmdLine@10340, TryFillCopyRec@16); the export table names them
# undecorated. The linker's own import library would then name them
# undecorated too, and the program, which refers to the decorated symbols,
# could not link: dlltool rebuilds it from the .def with the same names killed.
if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "The i686 build needs dlltool: set CMAKE_DLLTOOL in the toolchain file")
endif()
target_link_options(VeltrixCore PRIVATE -Wl,--kill-at)
add_custom_command(TARGET VeltrixCore POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --input-def ${CORE_DEF} --kill-at
          --output-lib $<TARGET_LINKER_FILE:VeltrixCore>
  COMMENT "Import library of the 32-bit VeltrixCore.dll with decorated symbols")
