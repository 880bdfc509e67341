#include "FilterEngine.h"

#include "common/FwpDefinitions.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace lab {

namespace {

constexpr int kRangeShift = 60;
constexpr int kConditionShift = 48;

struct Decision {
  bool permitted;
  UINT64 filterId;
};

UINT64 fieldValue(const GUID& fieldKey, const Probe& probe) {
  if (IsEqualGUID(fieldKey, fwp_def::kConditionIpRemotePort)) return probe.remotePort;
  return probe.interfaceIndex;
}

bool conditionMatches(const Condition& condition, UINT64 value) {
  switch (condition.matchType) {
    case FWP_MATCH_EQUAL: return value == condition.value;
    case FWP_MATCH_NOT_EQUAL: return value != condition.value;
    case FWP_MATCH_GREATER: return value > condition.value;
    case FWP_MATCH_LESS: return value < condition.value;
    case FWP_MATCH_GREATER_OR_EQUAL: return value >= condition.value;
    case FWP_MATCH_LESS_OR_EQUAL: return value <= condition.value;
    case FWP_MATCH_RANGE: return value >= condition.value && value <= condition.rangeHigh;
    default: return false;
  }
}

// Conditions on the same field are alternatives; conditions on different
// fields must all hold.
bool filterMatches(const Filter& filter, const Probe& probe) {
  std::vector<GUID> fields;
  for (const Condition& c : filter.conditions)
    if (std::none_of(fields.begin(), fields.end(), [&](const GUID& g) { return IsEqualGUID(g, c.fieldKey); }))
      fields.push_back(c.fieldKey);
  return std::all_of(fields.begin(), fields.end(), [&](const GUID& field) {
    UINT64 value = fieldValue(field, probe);
    return std::any_of(filter.conditions.begin(), filter.conditions.end(), [&](const Condition& c) {
      return IsEqualGUID(c.fieldKey, field) && conditionMatches(c, value);
    });
  });
}

bool heavierFirst(const Filter* a, const Filter* b) {
  if (a->effectiveWeight != b->effectiveWeight) return a->effectiveWeight > b->effectiveWeight;
  return a->id < b->id;
}

// Inside one sublayer the heaviest matching filter with a terminating
// action decides.
std::optional<Decision> decideInSublayer(std::vector<const Filter*> filters, const Probe& probe) {
  std::sort(filters.begin(), filters.end(), heavierFirst);
  for (const Filter* filter : filters) {
    if (!(filter->actionType & FWP_ACTION_FLAG_TERMINATING) || !filterMatches(*filter, probe)) continue;
    return Decision{filter->actionType == FWP_ACTION_PERMIT, filter->id};
  }
  return std::nullopt;
}

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

}  // namespace

std::optional<UINT32> FilterEngine::fieldType(const GUID& fieldKey) {
  if (IsEqualGUID(fieldKey, fwp_def::kConditionIpRemotePort)) return FWP_UINT16;
  if (IsEqualGUID(fieldKey, fwp_def::kConditionInterfaceIndex)) return FWP_UINT32;
  return std::nullopt;
}

bool FilterEngine::knownLayer(const GUID& layerKey) {
  return IsEqualGUID(layerKey, fwp_def::kLayerAleAuthConnectV4) ||
         IsEqualGUID(layerKey, fwp_def::kLayerAleAuthConnectV6);
}

UINT64 FilterEngine::effectiveWeight(UINT32 weightType, UINT64 weightValue, size_t conditionCount) {
  if (weightType == FWP_UINT64) return weightValue;
  UINT64 range = weightType == FWP_UINT8 ? weightValue : 0;
  return (range << kRangeShift) | (static_cast<UINT64>(std::min<size_t>(conditionCount, 0xFFF)) << kConditionShift);
}

// Across sublayers a block from any of them wins over every permit; with no
// matching filter at all the connection passes.
Verdict FilterEngine::evaluate(const Snapshot& state, const Probe& probe) {
  const GUID& layer = probe.version == IpVersion::V4 ? fwp_def::kLayerAleAuthConnectV4
                                                     : fwp_def::kLayerAleAuthConnectV6;
  std::map<GUID, std::vector<const Filter*>, GuidLess> bySublayer;
  for (const Filter& filter : state.filters)
    if (IsEqualGUID(filter.layerKey, layer)) bySublayer[filter.subLayerKey].push_back(&filter);

  Verdict verdict;
  for (const auto& [sublayer, filters] : bySublayer) {
    std::optional<Decision> decision = decideInSublayer(filters, probe);
    if (!decision) continue;
    if (!decision->permitted) return Verdict{false, decision->filterId};
    if (!verdict.decidingFilter) verdict.decidingFilter = decision->filterId;
  }
  return verdict;
}

}  // namespace lab
