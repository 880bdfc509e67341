#pragma once

#include "LabInspect.h"

#include <optional>

namespace lab {

// WFP classification as far as the lab models it: outgoing connections at
// the ALE connect layers, judged by remote port and interface index.
class FilterEngine {
 public:
  // The data type a condition on this field must carry, or none when the
  // lab does not know the field.
  static std::optional<UINT32> fieldType(const GUID& fieldKey);
  static bool knownLayer(const GUID& layerKey);

  // Weight the engine gives a filter: an FWP_UINT64 weight is taken as it
  // is, an FWP_UINT8 weight w selects the range [w * 2^60, (w + 1) * 2^60)
  // and FWP_EMPTY the lowest range; inside a range, filters with more
  // conditions weigh more.
  static UINT64 effectiveWeight(UINT32 weightType, UINT64 weightValue, size_t conditionCount);

  static Verdict evaluate(const Snapshot& state, const Probe& probe);
};

}  // namespace lab
