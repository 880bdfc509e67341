#pragma once

#include <windows.h>

namespace lab {

// The part of a hang-up that goes on after RasHangUpW has returned. As on
// Windows, the process that hung up carries it out: a thread of that
// process closes the connection when it is due, and a process that ends
// sooner leaves the connection open.
class HangUpCompletion {
 public:
  // How long this process's hang-ups take: kHangUpDelayVariable from its
  // environment, else the machine-wide setting.
  static DWORD delayMs(DWORD machineSetting);

  // Closes this process's connections that are due at `closeAtMs` then.
  static void schedule(ULONGLONG closeAtMs);
};

}  // namespace lab
