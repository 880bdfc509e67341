# Visual Studio's linker reads import libraries in the short import format;
# llvm-dlltool writes one from the same .def the MinGW build links with, so a
# Visual Studio host needs nothing of our toolchain.
function(zerav_msvc_import_library target def)
  find_program(ZERAV_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
  set(library ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.lib)
  # The cross build makes x86-64 binaries only.
  add_custom_command(OUTPUT ${library}
    COMMAND ${ZERAV_LLVM_DLLTOOL} -m i386:x86-64 -d ${def} -l ${library}
    DEPENDS ${def}
    COMMENT "Generating the MSVC import library ${target}.lib"
    VERBATIM)
  add_custom_target(${target}_msvc_import_library ALL DEPENDS ${library})
  install(FILES ${library} DESTINATION lib)
endfunction()
