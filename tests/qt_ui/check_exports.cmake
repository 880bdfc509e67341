# Compares the dynamic symbols the library defines with its sixteen exports.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE table RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected
  ZeravQtUi_addIcon ZeravQtUi_addServer ZeravQtUi_endServerList ZeravQtUi_initQtUi
  ZeravQtUi_quit ZeravQtUi_selectServerWithCode ZeravQtUi_setDarkTheme ZeravQtUi_setIp
  ZeravQtUi_setIpConnecting ZeravQtUi_setIpDisconnecting ZeravQtUi_setIpUndefined
  ZeravQtUi_setLightTheme ZeravQtUi_setServerClickCallback ZeravQtUi_setVpnConnectionState
  ZeravQtUi_showAt ZeravQtUi_startServerList)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exactly the sixteen ZeravQtUi_ functions are exported")
