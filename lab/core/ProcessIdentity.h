#pragma once

#include <windows.h>

namespace lab {

// A process named by its id and its start time, so that a recycled id does
// not pass for the process that owned something before.
class ProcessIdentity {
 public:
  static ProcessIdentity current();

  ProcessIdentity(DWORD pid, ULONGLONG startTime) : pid_(pid), startTime_(startTime) {}

  DWORD pid() const { return pid_; }
  ULONGLONG startTime() const { return startTime_; }
  bool alive() const;

 private:
  DWORD pid_;
  ULONGLONG startTime_;
};

}  // namespace lab
