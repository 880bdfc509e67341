#include "FwpMemory.h"

#include <cstring>

namespace lab {

namespace {

wchar_t* placeText(BYTE*& cursor, const std::wstring& text) {
  wchar_t* at = reinterpret_cast<wchar_t*>(cursor);
  std::wmemcpy(at, text.c_str(), text.size() + 1);
  cursor += (text.size() + 1) * sizeof(wchar_t);
  return at;
}

}  // namespace

FWPM_SUBLAYER0* FwpMemory::copyOf(const Sublayer& sublayer) {
  size_t size = sizeof(FWPM_SUBLAYER0) + (sublayer.name.size() + sublayer.description.size() + 2) * sizeof(wchar_t);
  BYTE* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (block == nullptr) return nullptr;
  auto* copy = reinterpret_cast<FWPM_SUBLAYER0*>(block);
  BYTE* cursor = block + sizeof(FWPM_SUBLAYER0);
  copy->subLayerKey = sublayer.key;
  copy->displayData.name = placeText(cursor, sublayer.name);
  copy->displayData.description = placeText(cursor, sublayer.description);
  copy->flags = static_cast<UINT16>(sublayer.flags);
  copy->weight = sublayer.weight;
  return copy;
}

void FwpMemory::release(void** block) {
  if (block == nullptr || *block == nullptr) return;
  HeapFree(GetProcessHeap(), 0, *block);
  *block = nullptr;
}

}  // namespace lab
