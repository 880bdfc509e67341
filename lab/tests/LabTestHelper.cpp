// A second process for the lab's lifetime tests:
//   lab_test_helper hold-session PORT   blocks PORT over IPv4 in a dynamic
//                                       session, then waits to be killed (a
//                                       minute at most)
//   lab_test_helper dial ENTRY          dials ENTRY to the instant server and
//                                       exits once connected (exit code 0)
//   lab_test_helper dial-hang-up-exit ENTRY
//                                       the same, then hangs up and exits at
//                                       once, before the hang-up completes
//   lab_test_helper sizes DIAL,... ENTRY,...
//                                       prints the version the program is
//                                       told, the default entry's size query
//                                       and RasDialW's and
//                                       RasSetEntryPropertiesW's answers to
//                                       each structure size
// The program is built three times: as is (told Windows 8), with a Windows
// 10 manifest, and as the one the lab tests have Wine call Windows 7.

#include "LabTestSupport.h"
#include "common/FwpDefinitions.h"

#include <rpc.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr DWORD kHoldLimitMs = 60000;

int holdSession(UINT16 port) {
  HANDLE engine = nullptr;
  FWPM_SESSION0 session{};
  session.flags = FWPM_SESSION_FLAG_DYNAMIC;
  if (FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, &engine) != 0) return 1;
  FWPM_SUBLAYER0 sublayer{};
  UuidCreate(&sublayer.subLayerKey);
  sublayer.displayData.name = const_cast<wchar_t*>(L"lab helper");
  if (FwpmSubLayerAdd0(engine, &sublayer, nullptr) != 0) return 1;
  FWPM_FILTER_CONDITION0 condition{};
  condition.fieldKey = fwp_def::kConditionIpRemotePort;
  condition.matchType = FWP_MATCH_EQUAL;
  condition.conditionValue.type = FWP_UINT16;
  condition.conditionValue.uint16 = port;
  FWPM_FILTER0 filter{};
  filter.displayData.name = const_cast<wchar_t*>(L"lab helper block");
  filter.layerKey = fwp_def::kLayerAleAuthConnectV4;
  filter.subLayerKey = sublayer.subLayerKey;
  filter.numFilterConditions = 1;
  filter.filterCondition = &condition;
  filter.action.type = FWP_ACTION_BLOCK;
  if (FwpmFilterAdd0(engine, &filter, nullptr, nullptr) != 0) return 1;
  Sleep(kHoldLimitMs);
  return 0;
}

HRASCONN dialInstant(const std::wstring& entry) {
  if (labtest::putEntry(entry, L"instant.vpn.lab") != 0) return nullptr;
  HRASCONN handle = nullptr;
  if (labtest::dial(entry, L"labuser", L"labpass", &handle) != 0) return nullptr;
  std::vector<labtest::DialEvent> events = labtest::DialObserver::waitFinal(5000);
  return !events.empty() && events.back().state == RASCS_Connected ? handle : nullptr;
}

int dialAndLeave(const std::wstring& entry) { return dialInstant(entry) != nullptr ? 0 : 1; }

int dialHangUpAndLeave(const std::wstring& entry) {
  HRASCONN handle = dialInstant(entry);
  return handle != nullptr && RasHangUpW(handle) == 0 ? 0 : 1;
}

// "2112,2120"; anything that is not a number ("-") ends the list.
std::vector<DWORD> sizeList(const wchar_t* text) {
  std::vector<DWORD> sizes;
  const wchar_t* p = text;
  while (*p != L'\0') {
    wchar_t* end = nullptr;
    DWORD value = std::wcstoul(p, &end, 10);
    if (end == p) break;
    sizes.push_back(value);
    p = *end == L',' ? end + 1 : end;
  }
  return sizes;
}

int probeSizes(const wchar_t* dialSizes, const wchar_t* entrySizes) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExW(&version);
  std::printf("told %lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
  DWORD size = 0;
  RasGetEntryPropertiesW(nullptr, L"", nullptr, &size, nullptr, nullptr);
  std::printf("query %lu\n", size);
  for (DWORD dial : sizeList(dialSizes)) std::printf("dial %lu %lu\n", dial, labtest::dialWithSize(dial));
  for (DWORD entry : sizeList(entrySizes)) std::printf("entry %lu %lu\n", entry, labtest::setEntryWithSize(entry));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"hold-session") == 0)
    return holdSession(static_cast<UINT16>(std::wcstoul(argv[2], nullptr, 10)));
  if (argc == 3 && std::wcscmp(argv[1], L"dial") == 0) return dialAndLeave(argv[2]);
  if (argc == 3 && std::wcscmp(argv[1], L"dial-hang-up-exit") == 0) return dialHangUpAndLeave(argv[2]);
  if (argc == 4 && std::wcscmp(argv[1], L"sizes") == 0) return probeSizes(argv[2], argv[3]);
  return 2;
}
