#pragma once

#include "ServerDirectory.h"

#include <windows.h>
#include <ras.h>

#include <optional>
#include <string>
#include <vector>

namespace lab {

// How one dial unfolds, decided from the server directory by the server
// address and the credentials the caller passed. A dial that fails ends in
// the state it failed in, with a non-zero error, as Windows reports it.
struct DialPlan {
  std::string behaviour;
  DWORD startError = 0;       // non-zero: RasDialW returns it at once
  bool handleOnStartError = false;  // ... with a handle the caller must still hang up
  std::vector<RASCONNSTATE> progress;
  bool reachesFinal = true;
  DWORD delayMs = 0;
  RASCONNSTATE finalState = RASCS_Connected;
  DWORD finalError = 0;

  static DialPlan choose(const std::optional<ServerEntry>& server, const std::wstring& user,
                         const std::wstring& password);
};

}  // namespace lab
