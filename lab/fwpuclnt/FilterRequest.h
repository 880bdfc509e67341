#pragma once

#include "LabInspect.h"

#include <windows.h>
#include <fwpmu.h>

namespace lab {

// Checks a filter a caller wants to add the way the filter engine does and
// turns it into the lab's record. Sublayer existence is checked by the
// engine, which knows the state.
class FilterRequest {
 public:
  static DWORD parse(const FWPM_FILTER0& request, Filter& filter);

 private:
  static DWORD parseWeight(const FWP_VALUE0& weight, Filter& filter);
  static DWORD parseCondition(const FWPM_FILTER_CONDITION0& request, Condition& condition);
  static DWORD parseAction(const FWPM_ACTION0& action);
};

}  // namespace lab
