#pragma once

#include <windows.h>

#include <exception>

namespace lab {

// Runs one exported call; a failure of the lab itself reaches the caller as
// the given error code, never as an exception across the DLL boundary.
template <DWORD failure, class Fn>
DWORD guarded(Fn&& fn) {
  try {
    return fn();
  } catch (const std::exception&) {
    return failure;
  }
}

}  // namespace lab
