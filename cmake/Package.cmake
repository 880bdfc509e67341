# The SDK a host developer unpacks: one zip of what cmake --install lays out,
# in a folder named with the version: ZeravVPN-<version>-win64/ with bin/
# (the DLL and the two programs), include/, lib/ (both import libraries) and
# lib/cmake/ZeravVPN/.

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZeravVPN)
set(CPACK_PACKAGE_VENDOR ${ZERAV_COMPANY_NAME})
# CPack would name any build but Visual Studio's x64 one win32.
set(CPACK_SYSTEM_NAME win64)
include(CPack)
