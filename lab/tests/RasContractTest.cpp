// The size and phone-book rules of rasapi32 that callers depend on: which
// dwSize values each call takes, the size query of the default entry, and
// entries read back and deleted by name.

#include "LabTestSupport.h"

#include <gtest/gtest.h>
#include <raserror.h>

#include <functional>

namespace {

struct SizeCase {
  const char* label;
  std::function<DWORD(DWORD size)> call;
  std::vector<DWORD> accepted;
  std::vector<DWORD> refused;
};

// A live connection to ask about, for the calls that need one.
class LiveConnection {
 public:
  LiveConnection() : name_(labtest::uniqueName(L"lab-size")) {
    labtest::putEntry(name_, L"instant.vpn.lab");
    labtest::dial(name_, L"labuser", L"labpass", &handle_);
    labtest::DialObserver::waitFinal(2000);
  }
  ~LiveConnection() {
    labtest::hangUpAndWait(handle_);
    RasDeleteEntryW(nullptr, name_.c_str());
  }
  HRASCONN handle() const { return handle_; }

 private:
  std::wstring name_;
  HRASCONN handle_ = nullptr;
};

DWORD statusWithSize(DWORD size) {
  LiveConnection connection;
  RasConnStatusW7 status{};
  status.dwSize = size;
  return RasGetConnectStatusW(connection.handle(), reinterpret_cast<RASCONNSTATUSW*>(&status));
}

DWORD enumerateWithSize(DWORD size) {
  LiveConnection connection;
  std::vector<RasConnW7> buffer(64);
  buffer[0].dwSize = size;
  DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(RasConnW7)), count = 0;
  return RasEnumConnectionsW(reinterpret_cast<RASCONNW*>(buffer.data()), &bytes, &count);
}

const SizeCase kSizeCases[] = {
    {"RasSetEntryProperties", labtest::setEntryWithSize, {5616, 5656, 5680, 6720, 6724}, {0, 5000, 5684, 8000}},
    {"RasDial", labtest::dialWithSize, {2112, 2120}, {0, 1024, 2116, 4096}},
    {"RasGetConnectStatus", statusWithSize, {564, 608}, {0, 560, 600, 1024}},
    {"RasEnumConnections", enumerateWithSize, {1372, 1388}, {0, 1000, 1384, 2048}},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.label; }

class RasSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(RasSizes, AcceptKnownStructureSizesOnly) {
  const SizeCase& c = GetParam();
  for (DWORD size : c.accepted) EXPECT_EQ(c.call(size), 0u) << "dwSize " << size;
  for (DWORD size : c.refused) EXPECT_EQ(c.call(size), static_cast<DWORD>(ERROR_INVALID_SIZE)) << "dwSize " << size;
}

INSTANTIATE_TEST_SUITE_P(Calls, RasSizes, testing::ValuesIn(kSizeCases),
                         [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.label); });

TEST(RasPhonebook, SizeQueryOfTheDefaultEntryAsksForTheNewestLayout) {
  DWORD size = 0;
  EXPECT_EQ(RasGetEntryPropertiesW(nullptr, L"", nullptr, &size, nullptr, nullptr),
            static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL));
  EXPECT_EQ(size, ras_layout::kRasEntrySizeW81);
}

TEST(RasPhonebook, StoredEntryReadsBackInTheCallersLayoutAndDeletesOnce) {
  std::wstring name = labtest::uniqueName(L"lab-book");
  ASSERT_EQ(labtest::putEntry(name, L"instant.vpn.lab"), 0u);

  RasEntryW7 entry{};
  entry.dwSize = sizeof entry;
  DWORD size = sizeof entry;
  ASSERT_EQ(RasGetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(&entry), &size, nullptr,
                                   nullptr),
            0u);
  EXPECT_EQ(entry.dwSize, ras_layout::kRasEntrySizeW7);
  EXPECT_STREQ(entry.szLocalPhoneNumber, L"instant.vpn.lab");
  EXPECT_EQ(entry.dwfOptions, 0x1610u);
  EXPECT_EQ(entry.dwVpnStrategy, ras_layout::kVpnStrategyIkev2Only);
  EXPECT_EQ(entry.dwfOptions2 & 0x30000u, 0x30000u);
  EXPECT_EQ(entry.dwIPv4InterfaceMetric, 3u);
  EXPECT_EQ(entry.dwIPv6InterfaceMetric, 3u);

  EXPECT_EQ(RasDeleteEntryW(nullptr, name.c_str()), 0u);
  EXPECT_EQ(RasDeleteEntryW(nullptr, name.c_str()), static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
  size = sizeof entry;
  EXPECT_EQ(RasGetEntryPropertiesW(nullptr, name.c_str(), reinterpret_cast<RASENTRYW*>(&entry), &size, nullptr,
                                   nullptr),
            static_cast<DWORD>(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
}

}  // namespace
