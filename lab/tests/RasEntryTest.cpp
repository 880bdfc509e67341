// What RasSetEntryPropertiesW refuses, and with which error: each case
// spoils one thing of an IKEv2 entry the lab otherwise takes, and a refused
// entry is not kept.

#include "LabTestSupport.h"

#include <gtest/gtest.h>
#include <raserror.h>

#include <cwchar>
#include <functional>

namespace {

struct EntryCase {
  const char* label;
  std::function<void(RasEntryW81&)> spoil;
  DWORD expected;
  std::wstring name = L"";         // empty: a fresh name of its own
  DWORD bufferShortBy = 0;         // the buffer size passed, short of dwSize by this much
  bool nullEntry = false;
};

void keep(RasEntryW81&) {}

template <size_t N>
void put(WCHAR (&field)[N], const wchar_t* text) {
  wcsncpy(field, text, N - 1);
  field[N - 1] = L'\0';
}

const EntryCase kEntryCases[] = {
    {"ikev2Entry", keep, ERROR_SUCCESS},
    {"ikev2OnlyStrategy", [](RasEntryW81& e) { e.w7.dwVpnStrategy = 7; }, ERROR_SUCCESS},
    {"deviceTypeInCapitals", [](RasEntryW81& e) { put(e.w7.szDeviceType, L"VPN"); }, ERROR_SUCCESS},
    {"modemDeviceType", [](RasEntryW81& e) { put(e.w7.szDeviceType, RASDT_Modem); }, ERROR_INVALID_PARAMETER},
    {"noDeviceType", [](RasEntryW81& e) { put(e.w7.szDeviceType, L""); }, ERROR_INVALID_PARAMETER},
    {"noServerAddress", [](RasEntryW81& e) { put(e.w7.szLocalPhoneNumber, L""); }, ERROR_INVALID_PARAMETER},
    {"undefinedStrategy10", [](RasEntryW81& e) { e.w7.dwVpnStrategy = 10; }, ERROR_INVALID_PARAMETER},
    {"unknownStrategy16", [](RasEntryW81& e) { e.w7.dwVpnStrategy = 16; }, ERROR_INVALID_PARAMETER},
    {"unknownEncryption", [](RasEntryW81& e) { e.w7.dwEncryptionType = 4; }, ERROR_INVALID_PARAMETER},
    {"noEntryType", [](RasEntryW81& e) { e.w7.dwType = 0; }, ERROR_INVALID_PARAMETER},
    {"unknownEntryType", [](RasEntryW81& e) { e.w7.dwType = 6; }, ERROR_INVALID_PARAMETER},
    {"unknownSize", [](RasEntryW81& e) { e.w7.dwSize = 5000; }, ERROR_INVALID_SIZE},
    {"bufferShorterThanItsSize", keep, ERROR_BUFFER_INVALID, L"", 4},
    {"noBuffer", keep, ERROR_BUFFER_INVALID, L"", 0, true},
    {"nameWithSlash", keep, ERROR_INVALID_NAME, L"lab/entry"},
    {"nameWithLeadingDot", keep, ERROR_INVALID_NAME, L".lab-entry"},
};

void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.label; }

class EntryRules : public testing::TestWithParam<EntryCase> {};

TEST_P(EntryRules, RefuseWhatWindowsRefuses) {
  const EntryCase& c = GetParam();
  std::wstring name = c.name.empty() ? labtest::uniqueName(L"lab-rules") : c.name;
  RasEntryW81 entry = labtest::vpnEntry(L"instant.vpn.lab", sizeof(RasEntryW81));
  c.spoil(entry);
  DWORD bufferSize = entry.w7.dwSize - c.bufferShortBy;
  RASENTRYW* buffer = c.nullEntry ? nullptr : reinterpret_cast<RASENTRYW*>(&entry);
  EXPECT_EQ(RasSetEntryPropertiesW(nullptr, name.c_str(), buffer, bufferSize, nullptr, 0), c.expected);

  RasEntryW81 readBack{};
  readBack.w7.dwSize = sizeof readBack;
  DWORD size = sizeof readBack;
  DWORD read = RasGetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(&readBack), &size,
                                      nullptr, nullptr);
  if (c.expected == ERROR_SUCCESS) {
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(readBack.w7.dwVpnStrategy, entry.w7.dwVpnStrategy);
    EXPECT_EQ(RasDeleteEntryW(nullptr, name.c_str()), 0u);
  } else {
    EXPECT_NE(read, 0u) << "a refused entry is not kept";
  }
}

INSTANTIATE_TEST_SUITE_P(Entries, EntryRules, testing::ValuesIn(kEntryCases),
                         [](const testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.label); });

}  // namespace
