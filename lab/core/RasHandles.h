#pragma once

#include <windows.h>
#include <ras.h>

namespace lab {

// Connection handles handed to callers are the connection's machine-wide
// number in disguise, so any process can name a connection another dialed.
class RasHandles {
 public:
  static HRASCONN toHandle(ULONGLONG connection) {
    return reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(kBase + connection * kStride));
  }

  static ULONGLONG toConnection(HRASCONN handle) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    if (value <= kBase || (value - kBase) % kStride != 0) return 0;
    return (value - kBase) / kStride;
  }

 private:
  static constexpr ULONG_PTR kBase = 0x5A0000;
  static constexpr ULONG_PTR kStride = 4;
};

}  // namespace lab
