#pragma once

#include "LabInspect.h"

#include <windows.h>
#include <fwpmu.h>

namespace lab {

// Memory the engine hands to callers: one block per object, strings
// included, released with FwpmFreeMemory0.
class FwpMemory {
 public:
  static FWPM_SUBLAYER0* copyOf(const Sublayer& sublayer);
  static void release(void** block);
};

}  // namespace lab
