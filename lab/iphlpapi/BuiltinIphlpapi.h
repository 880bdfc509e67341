#pragma once

#include <windows.h>

namespace lab {

// The system's own iphlpapi, loaded by full path beside this replacement so
// that every function the lab does not change keeps working.
class BuiltinIphlpapi {
 public:
  // The system's function of that name, or a stand-in that answers
  // ERROR_NOT_SUPPORTED when the system has none.
  static FARPROC find(const char* name);
};

}  // namespace lab
