// The fwpuclnt functions the lab implements. A failure of the lab itself
// reaches the caller as ERROR_INTERNAL_ERROR, never as an exception.

#include "Guarded.h"
#include "FwpEngine.h"
#include "FwpMemory.h"

namespace {

template <class Fn>
DWORD guarded(Fn&& fn) {
  return lab::guarded<ERROR_INTERNAL_ERROR>(fn);
}

}  // namespace

extern "C" {

DWORD WINAPI FwpmEngineOpen0(const wchar_t* serverName, UINT32 authnService, SEC_WINNT_AUTH_IDENTITY_W*,
                             const FWPM_SESSION0* session, HANDLE* engineHandle) {
  return guarded([&] { return lab::FwpEngine::open(serverName, authnService, session, engineHandle); });
}

DWORD WINAPI FwpmEngineClose0(HANDLE engineHandle) {
  return guarded([&] { return lab::FwpEngine::close(engineHandle); });
}

DWORD WINAPI FwpmSubLayerGetByKey0(HANDLE engineHandle, const GUID* key, FWPM_SUBLAYER0** subLayer) {
  return guarded([&] { return lab::FwpEngine::getSublayer(engineHandle, key, subLayer); });
}

DWORD WINAPI FwpmSubLayerAdd0(HANDLE engineHandle, const FWPM_SUBLAYER0* subLayer, PSECURITY_DESCRIPTOR) {
  return guarded([&] { return lab::FwpEngine::addSublayer(engineHandle, subLayer); });
}

DWORD WINAPI FwpmSubLayerDeleteByKey0(HANDLE engineHandle, const GUID* key) {
  return guarded([&] { return lab::FwpEngine::deleteSublayer(engineHandle, key); });
}

DWORD WINAPI FwpmFilterAdd0(HANDLE engineHandle, const FWPM_FILTER0* filter, PSECURITY_DESCRIPTOR, UINT64* id) {
  return guarded([&] { return lab::FwpEngine::addFilter(engineHandle, filter, id); });
}

DWORD WINAPI FwpmFilterDeleteById0(HANDLE engineHandle, UINT64 id) {
  return guarded([&] { return lab::FwpEngine::deleteFilterById(engineHandle, id); });
}

DWORD WINAPI FwpmFilterDeleteByKey0(HANDLE engineHandle, const GUID* key) {
  return guarded([&] { return lab::FwpEngine::deleteFilterByKey(engineHandle, key); });
}

void WINAPI FwpmFreeMemory0(void** p) { lab::FwpMemory::release(p); }

}  // extern "C"
