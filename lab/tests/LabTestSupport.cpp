#include "LabTestSupport.h"

#include "rasapi32/WindowsRelease.h"

#include "LabInspect.h"

#include <rpc.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <raserror.h>

namespace labtest {

namespace {

// Other processes dial and hang up between a size query and the read; a
// few more tries cover that; a table that never holds still reads as empty,
// which fails the test that asked.
constexpr int kAttempts = 20;

std::mutex eventsMutex;
std::condition_variable eventsChanged;
std::vector<DialEvent> events;

bool hasFinal() { return !events.empty() && endsDial(events.back()); }

template <size_t N>
void copy(WCHAR (&target)[N], const std::wstring& text) {
  wcsncpy(target, text.c_str(), N - 1);
}

}  // namespace

// Process ids come back quickly under Wine, so the name carries a random
// part that differs between test processes as well.
std::wstring uniqueName(const std::wstring& stem) {
  static const unsigned long processTag = [] {
    UUID id;
    UuidCreate(&id);
    return id.Data1;
  }();
  static std::atomic<unsigned> counter{0};
  return stem + L"-" + std::to_wstring(processTag) + L"-" + std::to_wstring(++counter);
}

RasEntryW81 vpnEntry(const std::wstring& server, DWORD size) {
  RasEntryW81 entry{};
  RasEntryW7& e = entry.w7;
  e.dwSize = size;
  e.dwfOptions = RASEO_RemoteDefaultGateway | RASEO_SwCompression | RASEO_RequireEncryptedPw |
                 RASEO_RequireDataEncryption;
  copy(e.szLocalPhoneNumber, server);
  e.dwfNetProtocols = RASNP_Ip;
  copy(e.szDeviceType, RASDT_Vpn);
  e.dwType = RASET_Vpn;
  e.dwEncryptionType = ET_Require;
  e.dwVpnStrategy = ras_layout::kVpnStrategyIkev2Only;
  e.dwfOptions2 = ras_layout::kOptions2IPv4ExplicitMetric | ras_layout::kOptions2IPv6ExplicitMetric;
  e.dwIPv4InterfaceMetric = 3;
  e.dwIPv6InterfaceMetric = 3;
  return entry;
}

DWORD putEntry(const std::wstring& name, const std::wstring& server) {
  DWORD size = 0;
  DWORD query = RasGetEntryPropertiesW(nullptr, L"", nullptr, &size, nullptr, nullptr);
  if (query != ERROR_BUFFER_TOO_SMALL) return query;
  if (size > sizeof(RasEntryW81)) return ERROR_INVALID_SIZE;
  RasEntryW81 entry = vpnEntry(server, size);
  return RasSetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(&entry), size, nullptr, 0);
}

DWORD dialParamsSize() {
  return lab::toldRelease() == lab::WindowsRelease::Windows81 ? ras_layout::kRasDialParamsSizeW81
                                                                : ras_layout::kRasDialParamsSizeW7;
}

void DialObserver::reset() {
  std::lock_guard<std::mutex> lock(eventsMutex);
  events.clear();
}

void WINAPI DialObserver::notify(UINT, RASCONNSTATE state, DWORD error) {
  std::lock_guard<std::mutex> lock(eventsMutex);
  events.push_back({state, error});
  eventsChanged.notify_all();
}

std::vector<DialEvent> DialObserver::waitFinal(DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(eventsMutex);
  eventsChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return hasFinal(); });
  return events;
}

DWORD dial(const std::wstring& entry, const std::wstring& user, const std::wstring& password,
           HRASCONN* handle, std::optional<DWORD> paramsSize) {
  RasDialParamsW81 params{};
  params.dwSize = paramsSize.value_or(dialParamsSize());
  copy(params.szEntryName, entry);
  copy(params.szUserName, user);
  copy(params.szPassword, password);
  DialObserver::reset();
  return RasDialW(nullptr, nullptr, reinterpret_cast<RASDIALPARAMSW*>(&params), 0,
                  reinterpret_cast<void*>(&DialObserver::notify), handle);
}

DWORD connectionStatus(HRASCONN handle, RasConnStatusW7& status) {
  status = RasConnStatusW7{};
  status.dwSize = sizeof status;
  return RasGetConnectStatusW(handle, reinterpret_cast<RASCONNSTATUSW*>(&status));
}

DWORD setEntryWithSize(DWORD size) {
  std::wstring name = uniqueName(L"lab-size");
  RasEntryW81 entry = vpnEntry(L"instant.vpn.lab", size);
  DWORD result = RasSetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(&entry),
                                        sizeof entry, nullptr, 0);
  RasDeleteEntryW(nullptr, name.c_str());
  return result;
}

DWORD dialWithSize(DWORD size) {
  std::wstring name = uniqueName(L"lab-size");
  putEntry(name, L"instant.vpn.lab");
  HRASCONN handle = nullptr;
  DWORD result = dial(name, L"labuser", L"labpass", &handle, size);
  if (handle != nullptr) {
    DialObserver::waitFinal(2000);
    hangUpAndWait(handle);
  }
  RasDeleteEntryW(nullptr, name.c_str());
  return result;
}

bool waitClosed(HRASCONN handle, DWORD timeoutMs) {
  DWORD started = GetTickCount();
  RasConnStatusW7 status;
  while (connectionStatus(handle, status) != ERROR_INVALID_HANDLE) {
    if (GetTickCount() - started > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

bool hangUpAndWait(HRASCONN handle) { return RasHangUpW(handle) == ERROR_SUCCESS && waitClosed(handle); }

ProcessHangUpDelay::ProcessHangUpDelay(DWORD milliseconds) {
  wchar_t text[32];
  DWORD length = GetEnvironmentVariableW(lab::kHangUpDelayVariable, text, 32);
  hadPrevious_ = length > 0 && length < 32;
  if (hadPrevious_) previous_ = text;
  SetEnvironmentVariableW(lab::kHangUpDelayVariable, std::to_wstring(milliseconds).c_str());
}

ProcessHangUpDelay::~ProcessHangUpDelay() {
  SetEnvironmentVariableW(lab::kHangUpDelayVariable, hadPrevious_ ? previous_.c_str() : nullptr);
}

std::vector<RasConnW7> liveConnections() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    DWORD size = 0, count = 0;
    DWORD result = RasEnumConnectionsW(nullptr, &size, &count);
    if (result != ERROR_BUFFER_TOO_SMALL) return {};
    std::vector<RasConnW7> connections(count);
    connections[0].dwSize = sizeof(RasConnW7);
    result = RasEnumConnectionsW(reinterpret_cast<RASCONNW*>(connections.data()), &size, &count);
    if (result == ERROR_SUCCESS) {
      connections.resize(count);
      return connections;
    }
    if (result != ERROR_BUFFER_TOO_SMALL) return {};
  }
  return {};
}

std::vector<MIB_IFROW> interfaceRows() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ULONG size = 0;
    if (GetIfTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return {};
    std::vector<BYTE> buffer(size);
    auto* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
    DWORD result = GetIfTable(table, &size, FALSE);
    if (result == NO_ERROR) return std::vector<MIB_IFROW>(table->table, table->table + table->dwNumEntries);
    if (result != ERROR_INSUFFICIENT_BUFFER) return {};
  }
  return {};
}

std::vector<MIB_IFROW> adapterRowsFor(const std::wstring& entry) {
  std::vector<MIB_IFROW> rows;
  std::string description = ansi(entry);
  for (const MIB_IFROW& row : interfaceRows())
    if (description == reinterpret_cast<const char*>(row.bDescr)) rows.push_back(row);
  return rows;
}

std::wstring besideTests(const std::wstring& file) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

namespace {

std::string narrow(UINT codePage, const std::wstring& text) {
  int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(codePage, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(size - 1);
  return out;
}

}  // namespace

std::string utf8(const std::wstring& text) { return narrow(CP_UTF8, text); }

std::string ansi(const std::wstring& text) { return narrow(CP_ACP, text); }

}  // namespace labtest
