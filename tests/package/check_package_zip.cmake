# The zip a host developer downloads: cpack (CPACK, with the build's CONFIG)
# makes exactly one, named with the project's VERSION, that holds one folder
# of that name with exactly the installed tree in it: the deliverables, the
# header, both import libraries and the CMake package, nothing of the lab or
# the tests.

set(expected
  bin/zerav_VPN.dll
  bin/zerav_VPN_service.exe
  bin/zerav_host.exe
  include/ZeravVPN.h
  lib/cmake/ZeravVPN/ZeravVPNConfig.cmake
  lib/cmake/ZeravVPN/ZeravVPNConfigVersion.cmake
  lib/cmake/ZeravVPN/ZeravVPNTargets-release.cmake
  lib/cmake/ZeravVPN/ZeravVPNTargets.cmake
  lib/libzerav_VPN.dll.a
  lib/zerav_VPN.lib)
set(folder ZeravVPN-${VERSION}-win64)

include(${CMAKE_CURRENT_LIST_DIR}/run_tool.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
run_tool(ignored ${CPACK} --config ${CONFIG} -B ${WORK_DIR})

file(GLOB zips RELATIVE ${WORK_DIR} ${WORK_DIR}/*.zip)
if(NOT zips STREQUAL "${folder}.zip")
  message(FATAL_ERROR "cpack made: ${zips}\nexpected: ${folder}.zip")
endif()

run_tool(entries ${CMAKE_COMMAND} -E tar tf ${WORK_DIR}/${folder}.zip)
set(files)
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "^${folder}/")
    message(FATAL_ERROR "${entry} lies outside the folder ${folder}")
  endif()
  # Folders are listed too; the files tell the tree.
  if(NOT entry MATCHES "/$")
    string(REPLACE "${folder}/" "" file ${entry})
    list(APPEND files ${file})
  endif()
endforeach()
list(SORT files)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "${folder}.zip holds:\n  ${files}\nexpected:\n  ${expected}")
endif()
message(STATUS "${folder}.zip holds exactly the installed tree")
