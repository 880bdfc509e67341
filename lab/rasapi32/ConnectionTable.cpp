#include "ConnectionTable.h"

#include "HangUpCompletion.h"
#include "LabPaths.h"
#include "ProcessIdentity.h"
#include "RasHandles.h"
#include "StateStore.h"

#include <raserror.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace lab {

namespace {

constexpr DWORD kKnownStatusSizes[] = {ras_layout::kRasConnStatusSizeXp, ras_layout::kRasConnStatusSizeW7};
constexpr DWORD kKnownConnSizes[] = {820, 1344, 1360, ras_layout::kRasConnSizeXp, ras_layout::kRasConnSizeW7};
constexpr wchar_t kDeviceType[] = L"vpn";
constexpr wchar_t kDeviceName[] = L"WAN Miniport (IKEv2)";
constexpr wchar_t kPhonebookPath[] = L"C:\\ProgramData\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";

template <size_t N>
bool known(const DWORD (&sizes)[N], DWORD size) {
  return std::find(std::begin(sizes), std::end(sizes), size) != std::end(sizes);
}

template <size_t N>
void copyText(WCHAR (&target)[N], const std::wstring& text) {
  size_t length = std::min(text.size(), N - 1);
  std::wmemcpy(target, text.data(), length);
  target[length] = L'\0';
}

std::optional<Connection> find(HRASCONN handle) {
  ULONGLONG id = RasHandles::toConnection(handle);
  return StateStore::update([&](LabState& state) -> std::optional<Connection> {
    const Connection* c = id ? state.findConnection(id) : nullptr;
    return c ? std::optional<Connection>(*c) : std::nullopt;
  });
}

// Every connection whose handle the caller must still hang up: dialing,
// connected, or failed. Closing ones are hung up already.
std::vector<Connection> openConnections() {
  std::vector<Connection> open;
  for (const Connection& c : StateStore::read().data.connections)
    if (!c.closing()) open.push_back(c);
  return open;
}

RasConnW7 rowOf(const Connection& c) {
  RasConnW7 out{};
  out.dwSize = sizeof out;
  out.hrasconn = RasHandles::toHandle(c.id);
  copyText(out.szEntryName, c.entryName);
  copyText(out.szDeviceType, kDeviceType);
  copyText(out.szDeviceName, kDeviceName);
  copyText(out.szPhonebook, kPhonebookPath);
  out.dwSubEntry = 1;
  out.dwFlags = RASCF_AllUsers;
  out.luid.LowPart = static_cast<DWORD>(c.id);
  out.guidEntry.Data1 = static_cast<DWORD>(c.id);
  out.guidCorrelationId.Data1 = static_cast<DWORD>(c.id);
  return out;
}

}  // namespace

// RasHangUpW returns while the connection is still closing. The handle is
// spent at once: a second hang-up answers ERROR_INVALID_HANDLE, but the
// status answers until the connection has closed, which is how callers
// learn that it has. A delay of 0 closes it before returning.
DWORD ConnectionTable::hangUp(HRASCONN handle) {
  ULONGLONG id = RasHandles::toConnection(handle);
  if (id == 0) return ERROR_INVALID_HANDLE;
  ProcessIdentity self = ProcessIdentity::current();
  std::optional<ULONGLONG> closeAt = StateStore::update([&](LabState& state) -> std::optional<ULONGLONG> {
    Connection* c = state.findConnection(id);
    if (c == nullptr || c->closing()) return std::nullopt;
    DWORD delay = HangUpCompletion::delayMs(state.hangUpDelayMs);
    if (delay == 0) {
      state.removeConnection(id);
      return 0;
    }
    c->closeAtMs = StateStore::nowMs() + delay;
    c->closerPid = self.pid();
    c->closerStartTime = self.startTime();
    return c->closeAtMs;
  });
  if (!closeAt) return ERROR_INVALID_HANDLE;
  if (*closeAt != 0) HangUpCompletion::schedule(*closeAt);
  return ERROR_SUCCESS;
}

DWORD ConnectionTable::status(HRASCONN handle, BYTE* status) {
  if (status == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD size = reinterpret_cast<const RasConnStatusW7*>(status)->dwSize;
  if (!known(kKnownStatusSizes, size)) return ERROR_INVALID_SIZE;
  std::optional<Connection> connection = find(handle);
  if (!connection) return ERROR_INVALID_HANDLE;
  RasConnStatusW7 out{};
  out.dwSize = size;
  // A connection that is closing reads as disconnected until it is gone.
  out.rasconnstate = connection->closing() ? RASCS_Disconnected : static_cast<RASCONNSTATE>(connection->state);
  out.dwError = connection->error;
  copyText(out.szDeviceType, kDeviceType);
  copyText(out.szDeviceName, kDeviceName);
  copyText(out.szPhoneNumber, connection->serverAddress);
  std::memcpy(status, &out, size);
  return ERROR_SUCCESS;
}

DWORD ConnectionTable::enumerate(BYTE* connections, DWORD* bufferSize, DWORD* count) {
  if (bufferSize == nullptr || count == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD elementSize = sizeof(RasConnW7);
  if (connections != nullptr && *bufferSize >= sizeof(DWORD)) {
    elementSize = reinterpret_cast<const RasConnW7*>(connections)->dwSize;
    if (!known(kKnownConnSizes, elementSize)) return ERROR_INVALID_SIZE;
  }
  std::vector<Connection> active = openConnections();
  DWORD needed = static_cast<DWORD>(active.size()) * elementSize;
  *count = static_cast<DWORD>(active.size());
  if (connections == nullptr || *bufferSize < needed) {
    *bufferSize = needed;
    return needed == 0 ? ERROR_SUCCESS : ERROR_BUFFER_TOO_SMALL;
  }
  for (size_t i = 0; i < active.size(); ++i) {
    RasConnW7 element = rowOf(active[i]);
    element.dwSize = elementSize;
    std::memcpy(connections + i * elementSize, &element, elementSize);
  }
  *bufferSize = needed;
  return ERROR_SUCCESS;
}

}  // namespace lab
