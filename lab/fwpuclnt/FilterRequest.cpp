#include "FilterRequest.h"

#include "FilterEngine.h"

namespace lab {

namespace {

constexpr UINT64 kHighestRangeIndex = 15;

std::wstring textOrEmpty(const wchar_t* text) { return text ? text : L""; }

// The scalar in a value of one of the integer types a condition may carry.
template <class Value>
bool scalar(const Value& value, UINT32 expectedType, UINT64& out) {
  if (value.type != expectedType) return false;
  switch (value.type) {
    case FWP_UINT8: out = value.uint8; return true;
    case FWP_UINT16: out = value.uint16; return true;
    case FWP_UINT32: out = value.uint32; return true;
    default: return false;
  }
}

}  // namespace

DWORD FilterRequest::parseWeight(const FWP_VALUE0& weight, Filter& filter) {
  filter.weightType = weight.type;
  switch (weight.type) {
    case FWP_EMPTY:
      filter.weightValue = 0;
      return ERROR_SUCCESS;
    case FWP_UINT8:
      filter.weightValue = weight.uint8;
      return weight.uint8 <= kHighestRangeIndex ? ERROR_SUCCESS : FWP_E_INVALID_WEIGHT;
    case FWP_UINT64:
      if (weight.uint64 == nullptr) return FWP_E_NULL_POINTER;
      filter.weightValue = *weight.uint64;
      return ERROR_SUCCESS;
    default:
      return FWP_E_INVALID_WEIGHT;
  }
}

DWORD FilterRequest::parseCondition(const FWPM_FILTER_CONDITION0& request, Condition& condition) {
  std::optional<UINT32> type = FilterEngine::fieldType(request.fieldKey);
  if (!type) return FWP_E_CONDITION_NOT_FOUND;
  condition.fieldKey = request.fieldKey;
  condition.matchType = request.matchType;
  condition.valueType = request.conditionValue.type;
  if (request.matchType == FWP_MATCH_RANGE) {
    const FWP_RANGE0* range = request.conditionValue.rangeValue;
    if (request.conditionValue.type != FWP_RANGE_TYPE) return FWP_E_MATCH_TYPE_MISMATCH;
    if (range == nullptr) return FWP_E_NULL_POINTER;
    if (!scalar(range->valueLow, *type, condition.value) || !scalar(range->valueHigh, *type, condition.rangeHigh))
      return FWP_E_TYPE_MISMATCH;
    return condition.value <= condition.rangeHigh ? ERROR_SUCCESS : FWP_E_INVALID_RANGE;
  }
  if (request.matchType > FWP_MATCH_LESS_OR_EQUAL && request.matchType != FWP_MATCH_NOT_EQUAL)
    return FWP_E_MATCH_TYPE_MISMATCH;
  return scalar(request.conditionValue, *type, condition.value) ? ERROR_SUCCESS : FWP_E_TYPE_MISMATCH;
}

DWORD FilterRequest::parseAction(const FWPM_ACTION0& action) {
  if (action.type == FWP_ACTION_BLOCK || action.type == FWP_ACTION_PERMIT) return ERROR_SUCCESS;
  if (action.type & FWP_ACTION_FLAG_CALLOUT) return FWP_E_CALLOUT_NOT_FOUND;
  return FWP_E_INVALID_ACTION_TYPE;
}

DWORD FilterRequest::parse(const FWPM_FILTER0& request, Filter& filter) {
  if (request.displayData.name == nullptr) return FWP_E_NULL_DISPLAY_NAME;
  if (request.providerKey != nullptr) return FWP_E_PROVIDER_NOT_FOUND;
  if (!FilterEngine::knownLayer(request.layerKey)) return FWP_E_LAYER_NOT_FOUND;
  if (request.numFilterConditions != 0 && request.filterCondition == nullptr) return FWP_E_NULL_POINTER;
  if (DWORD error = parseAction(request.action)) return error;
  if (DWORD error = parseWeight(request.weight, filter)) return error;
  filter.conditions.resize(request.numFilterConditions);
  for (UINT32 i = 0; i < request.numFilterConditions; ++i)
    if (DWORD error = parseCondition(request.filterCondition[i], filter.conditions[i])) return error;

  filter.key = request.filterKey;
  filter.name = request.displayData.name;
  filter.hasDescription = request.displayData.description != nullptr;
  filter.description = textOrEmpty(request.displayData.description);
  filter.flags = request.flags;
  filter.layerKey = request.layerKey;
  filter.subLayerKey = request.subLayerKey;
  filter.actionType = request.action.type;
  filter.effectiveWeight =
      FilterEngine::effectiveWeight(filter.weightType, filter.weightValue, filter.conditions.size());
  return ERROR_SUCCESS;
}

}  // namespace lab
