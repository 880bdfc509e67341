#pragma once

#include <windows.h>
#include <ras.h>

namespace lab {

// The caller's notifier of one dial, in any of the three function forms
// RasDialW accepts.
class DialNotifier {
 public:
  DialNotifier(DWORD type, void* function, HRASCONN handle, ULONG_PTR callbackId)
      : type_(type), function_(function), handle_(handle), callbackId_(callbackId) {}

  static bool supportedType(DWORD type) { return type <= 2; }

  bool present() const { return function_ != nullptr; }

  // False once a RASDIALFUNC2 asked for no more notifications.
  bool notify(RASCONNSTATE state, DWORD error);

 private:
  DWORD type_;
  void* function_;
  HRASCONN handle_;
  ULONG_PTR callbackId_;
  bool wanted_ = true;
};

}  // namespace lab
