# What every Windows binary shows in its properties, from the project's one
# version: installers compare the numbers, people read the texts.
set(ZERAV_PRODUCT_NAME "Zerav VPN")
set(ZERAV_COMPANY_NAME "Zerav Mobile")
set(ZERAV_COPYRIGHT "Copyright (C) 2026 Zerav Mobile")
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZeravVersion.h.in ${CMAKE_BINARY_DIR}/generated/ZeravVersion.h @ONLY)

# A binary's own .rc names its description, file name and type, then
# includes VersionInfo.rc, which these folders make reachable.
function(zerav_version_info target)
  target_include_directories(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:RC>:${CMAKE_SOURCE_DIR}/cmake>
    $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/generated>)
endfunction()
