#pragma once

#include <windows.h>
#include <ras.h>

namespace lab {

// RasDialW: checks what the caller passed, records it, opens a machine-wide
// connection and plays the dial out to the caller's notifier.
class Dialer {
 public:
  static DWORD dial(LPCWSTR phonebook, const BYTE* params, DWORD notifierType, void* notifier,
                    HRASCONN* handle);
};

}  // namespace lab
