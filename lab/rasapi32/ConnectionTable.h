#pragma once

#include <windows.h>
#include <ras.h>

namespace lab {

// The machine's RAS connections as callers see them: hang-up, status and
// enumeration, whichever process dialed.
class ConnectionTable {
 public:
  static DWORD hangUp(HRASCONN handle);
  static DWORD status(HRASCONN handle, BYTE* status);
  static DWORD enumerate(BYTE* connections, DWORD* bufferSize, DWORD* count);
};

}  // namespace lab
