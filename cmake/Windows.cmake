# Settings shared by every Windows target of the cross build.

# The C++ runtime, libgcc and winpthread are linked in, so the binaries need
# nothing beside them but the system's own DLLs.
add_link_options(-static)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_compile_options(-Wall -Wextra)
enable_language(RC)

# Every binary lands in one folder, as they would be installed beside the host.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# Windows programs registered as tests run under Wine in the build's own prefix.
set(ZERAV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run)

# GoogleTest from Debian's source package, built with the cross compiler.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# Registers a GoogleTest program whose cases are listed under Wine when ctest
# runs, not at every build. Programs that touch what every process of the
# prefix shares (the lab's state, the service and its pipe, the registry)
# pass SHARES_MACHINE and run one at a time.
function(zerav_add_gtest target)
  cmake_parse_arguments(ARG "SHARES_MACHINE" "" "" ${ARGN})
  set(lock)
  if(ARG_SHARES_MACHINE)
    set(lock RESOURCE_LOCK zerav_machine)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    PROPERTIES TIMEOUT 120 ${lock} ${ARG_UNPARSED_ARGUMENTS})
endfunction()

# Programs built as modern hosts are: with a manifest that declares Windows 10
# supported. Without one, Windows (and Wine) report version 6.2 to them.
function(zerav_windows10_manifest target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/windows10.rc)
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/cmake/windows10.rc APPEND PROPERTY OBJECT_DEPENDS
               ${CMAKE_SOURCE_DIR}/cmake/windows10.manifest)
endfunction()
