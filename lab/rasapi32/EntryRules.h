#pragma once

#include "common/RasLayouts.h"

#include <windows.h>

namespace lab {

// What RasSetEntryPropertiesW checks of an entry's contents before it keeps
// it, so that an entry Windows refuses is refused here too: a known entry
// type and encryption type, and for a VPN entry the "vpn" device type, a
// server address and a known VPN strategy. ERROR_INVALID_PARAMETER is the
// documented answer to an entry that "does not contain adequate
// information".
class EntryRules {
 public:
  static DWORD check(const RasEntryW7& entry);
};

}  // namespace lab
