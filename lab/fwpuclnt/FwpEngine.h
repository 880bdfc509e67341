#pragma once

#include <windows.h>
#include <fwpmu.h>

namespace lab {

// The filter engine's management calls. Sessions are machine-wide records
// owned by the process that opened them; a handle is only good in that
// process.
class FwpEngine {
 public:
  static DWORD open(const wchar_t* serverName, UINT32 authnService, const FWPM_SESSION0* session,
                    HANDLE* engineHandle);
  static DWORD close(HANDLE engineHandle);
  static DWORD getSublayer(HANDLE engineHandle, const GUID* key, FWPM_SUBLAYER0** sublayer);
  static DWORD addSublayer(HANDLE engineHandle, const FWPM_SUBLAYER0* sublayer);
  static DWORD deleteSublayer(HANDLE engineHandle, const GUID* key);
  static DWORD addFilter(HANDLE engineHandle, const FWPM_FILTER0* filter, UINT64* id);
  static DWORD deleteFilterById(HANDLE engineHandle, UINT64 id);
  static DWORD deleteFilterByKey(HANDLE engineHandle, const GUID* key);
};

}  // namespace lab
