# The import libraries a host links with, and the DLL they name: the
# Visual Studio one (MSVC_LIB) in the short import format, every member
# naming zerav_VPN.dll and its import descriptor, and the MinGW one
# (MINGW_LIB) must both list exactly the DLL's exports, undecorated, and
# the DLL (DLL) must export exactly those. NM and OBJDUMP are binutils'
# for the target.

set(expected
  ZeravVPN_cleanup ZeravVPN_connect ZeravVPN_deinstall ZeravVPN_disconnect ZeravVPN_errorText
  ZeravVPN_initLogging ZeravVPN_install ZeravVPN_lock_DNS_leaks ZeravVPN_setConfig ZeravVPN_setService
  ZeravVPN_status ZeravVPN_unlock_DNS_leaks)

include(${CMAKE_CURRENT_LIST_DIR}/run_tool.cmake)

function(compare what names)
  list(SORT names)
  if(NOT names STREQUAL expected)
    message(FATAL_ERROR "${what}: ${names}\nexpected: ${expected}")
  endif()
  message(STATUS "${what}: the twelve exports")
endfunction()

# The names a library imports by: its defined __imp_ symbols.
function(imported_names nm_lines output_variable)
  set(names)
  foreach(line IN LISTS nm_lines)
    if(line MATCHES " I __imp_(.+)$")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${output_variable} "${names}" PARENT_SCOPE)
endfunction()

run_tool(msvc_lines ${NM} --defined-only ${MSVC_LIB})
imported_names("${msvc_lines}" msvc_names)
compare("zerav_VPN.lib imports" "${msvc_names}")
run_tool(mingw_lines ${NM} --defined-only ${MINGW_LIB})
imported_names("${mingw_lines}" mingw_names)
compare("libzerav_VPN.dll.a imports" "${mingw_names}")

# Short import members and the objects beside them are all named after the
# DLL; binutils' dlltool would name its members after object files.
set(members "${msvc_lines}")
list(FILTER members INCLUDE REGEX ":$")
list(REMOVE_DUPLICATES members)
if(NOT members STREQUAL "zerav_VPN.dll:")
  message(FATAL_ERROR "zerav_VPN.lib members: ${members}")
endif()
if(NOT msvc_lines MATCHES " I __IMPORT_DESCRIPTOR_zerav_VPN")
  message(FATAL_ERROR "zerav_VPN.lib has no import descriptor for zerav_VPN")
endif()
message(STATUS "zerav_VPN.lib: short import members of zerav_VPN.dll")

# The export table as objdump prints it: "[   n] name" rows after the
# name pointer table's heading.
run_tool(lines ${OBJDUMP} -p ${DLL})
set(exports)
set(in_table FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_table TRUE)
  elseif(in_table AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] ([A-Za-z_0-9@]+)$")
    list(APPEND exports ${CMAKE_MATCH_1})
  elseif(in_table)
    set(in_table FALSE)
  endif()
endforeach()
compare("zerav_VPN.dll exports" "${exports}")
