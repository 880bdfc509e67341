#include "FwpEngine.h"

#include "FilterRequest.h"
#include "FwpMemory.h"
#include "ProcessIdentity.h"
#include "StateStore.h"
#include "common/FwpDefinitions.h"

#include <rpc.h>

#include <algorithm>

namespace lab {

namespace {

constexpr ULONG_PTR kHandleBase = 0x7A0000;
constexpr ULONG_PTR kHandleStride = 4;
constexpr UINT32 kAuthnDefault = 0xFFFFFFFF;
constexpr UINT32 kKnownSessionFlags = FWPM_SESSION_FLAG_DYNAMIC;

HANDLE toHandle(ULONGLONG session) {
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kHandleBase + session * kHandleStride));
}

ULONGLONG toSession(HANDLE handle) {
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
  if (value <= kHandleBase || (value - kHandleBase) % kHandleStride != 0) return 0;
  return (value - kHandleBase) / kHandleStride;
}

// Runs `work` on the session behind the handle, if the handle belongs to a
// live session of this process.
template <class Work>
DWORD withSession(HANDLE engineHandle, Work&& work) {
  ULONGLONG id = toSession(engineHandle);
  return StateStore::update([&](LabState& state) -> DWORD {
    Session* session = id ? state.findSession(id) : nullptr;
    if (session == nullptr || session->ownerPid != GetCurrentProcessId()) return ERROR_INVALID_HANDLE;
    return work(state, *session);
  });
}

bool isNull(const GUID& key) { return IsEqualGUID(key, GUID_NULL); }

GUID newKey() {
  UUID key;
  UuidCreate(&key);
  return key;
}

bool filterKeyTaken(const LabState& state, const GUID& key) {
  return std::any_of(state.data.filters.begin(), state.data.filters.end(),
                     [&](const Filter& f) { return IsEqualGUID(f.key, key); });
}

}  // namespace

DWORD FwpEngine::open(const wchar_t* serverName, UINT32 authnService, const FWPM_SESSION0* session,
                      HANDLE* engineHandle) {
  if (engineHandle == nullptr) return ERROR_INVALID_PARAMETER;
  if (serverName != nullptr) return ERROR_NOT_SUPPORTED;
  if (authnService != RPC_C_AUTHN_WINNT && authnService != kAuthnDefault) return RPC_S_UNKNOWN_AUTHN_SERVICE;
  if (session != nullptr && (session->flags & ~kKnownSessionFlags) != 0) return FWP_E_INVALID_FLAGS;
  ProcessIdentity owner = ProcessIdentity::current();
  Session record;
  record.ownerPid = owner.pid();
  record.ownerStartTime = owner.startTime();
  record.flags = session ? session->flags : 0;
  record.name = session && session->displayData.name ? session->displayData.name : L"";
  ULONGLONG id = StateStore::update([&](LabState& state) {
    record.id = state.nextSession++;
    state.data.sessions.push_back(record);
    return record.id;
  });
  *engineHandle = toHandle(id);
  return ERROR_SUCCESS;
}

DWORD FwpEngine::close(HANDLE engineHandle) {
  return withSession(engineHandle, [](LabState& state, Session& session) {
    state.closeSession(session.id);
    return static_cast<DWORD>(ERROR_SUCCESS);
  });
}

DWORD FwpEngine::getSublayer(HANDLE engineHandle, const GUID* key, FWPM_SUBLAYER0** sublayer) {
  if (key == nullptr || sublayer == nullptr) return ERROR_INVALID_PARAMETER;
  *sublayer = nullptr;
  return withSession(engineHandle, [&](LabState& state, Session&) -> DWORD {
    const Sublayer* found = state.findSublayer(*key);
    if (found == nullptr) return FWP_E_SUBLAYER_NOT_FOUND;
    *sublayer = FwpMemory::copyOf(*found);
    return *sublayer ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
  });
}

DWORD FwpEngine::addSublayer(HANDLE engineHandle, const FWPM_SUBLAYER0* request) {
  if (request == nullptr) return ERROR_INVALID_PARAMETER;
  if (request->displayData.name == nullptr) return FWP_E_NULL_DISPLAY_NAME;
  if (request->providerKey != nullptr) return FWP_E_PROVIDER_NOT_FOUND;
  return withSession(engineHandle, [&](LabState& state, Session& session) -> DWORD {
    Sublayer sublayer;
    sublayer.key = isNull(request->subLayerKey) ? newKey() : request->subLayerKey;
    if (state.findSublayer(sublayer.key) != nullptr) return FWP_E_ALREADY_EXISTS;
    sublayer.name = request->displayData.name;
    sublayer.description = request->displayData.description ? request->displayData.description : L"";
    sublayer.flags = request->flags;
    sublayer.weight = request->weight;
    sublayer.sessionId = session.id;
    sublayer.dynamic = (session.flags & FWPM_SESSION_FLAG_DYNAMIC) != 0;
    state.data.sublayers.push_back(sublayer);
    return ERROR_SUCCESS;
  });
}

DWORD FwpEngine::deleteSublayer(HANDLE engineHandle, const GUID* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  return withSession(engineHandle, [&](LabState& state, Session&) -> DWORD {
    auto& sublayers = state.data.sublayers;
    auto it = std::find_if(sublayers.begin(), sublayers.end(), [&](const Sublayer& s) { return IsEqualGUID(s.key, *key); });
    if (it == sublayers.end()) return FWP_E_SUBLAYER_NOT_FOUND;
    bool inUse = std::any_of(state.data.filters.begin(), state.data.filters.end(),
                             [&](const Filter& f) { return IsEqualGUID(f.subLayerKey, *key); });
    if (inUse) return FWP_E_IN_USE;
    sublayers.erase(it);
    return ERROR_SUCCESS;
  });
}

// A null sublayer key places the filter in the universal sublayer, which
// always exists.
DWORD FwpEngine::addFilter(HANDLE engineHandle, const FWPM_FILTER0* request, UINT64* id) {
  if (request == nullptr) return ERROR_INVALID_PARAMETER;
  Filter filter;
  if (DWORD error = FilterRequest::parse(*request, filter)) return error;
  return withSession(engineHandle, [&](LabState& state, Session& session) -> DWORD {
    if (!isNull(filter.subLayerKey) && state.findSublayer(filter.subLayerKey) == nullptr)
      return FWP_E_SUBLAYER_NOT_FOUND;
    if (isNull(filter.key)) filter.key = newKey();
    if (filterKeyTaken(state, filter.key)) return FWP_E_ALREADY_EXISTS;
    filter.id = state.nextFilterId++;
    filter.sessionId = session.id;
    filter.dynamic = (session.flags & FWPM_SESSION_FLAG_DYNAMIC) != 0;
    state.data.filters.push_back(filter);
    if (id != nullptr) *id = filter.id;
    return ERROR_SUCCESS;
  });
}

DWORD FwpEngine::deleteFilterById(HANDLE engineHandle, UINT64 id) {
  return withSession(engineHandle, [&](LabState& state, Session&) -> DWORD {
    auto& filters = state.data.filters;
    auto it = std::find_if(filters.begin(), filters.end(), [&](const Filter& f) { return f.id == id; });
    if (it == filters.end()) return FWP_E_FILTER_NOT_FOUND;
    filters.erase(it);
    return ERROR_SUCCESS;
  });
}

DWORD FwpEngine::deleteFilterByKey(HANDLE engineHandle, const GUID* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  return withSession(engineHandle, [&](LabState& state, Session&) -> DWORD {
    auto& filters = state.data.filters;
    auto it = std::find_if(filters.begin(), filters.end(), [&](const Filter& f) { return IsEqualGUID(f.key, *key); });
    if (it == filters.end()) return FWP_E_FILTER_NOT_FOUND;
    filters.erase(it);
    return ERROR_SUCCESS;
  });
}

}  // namespace lab
