// How a dial unfolds for each kind of server in the lab's default directory,
// seen through the notifier, the status, the interface table and hang-up.

#include "LabInspect.h"
#include "LabTestSupport.h"

#include <gtest/gtest.h>
#include <raserror.h>

namespace {

using labtest::DialEvent;

struct DialCase {
  const char* label;
  const wchar_t* server;
  const wchar_t* password;
  DWORD dialResult;
  DWORD finalState;  // 0: no final state within waitMs
  DWORD finalError;
  DWORD minDelayMs;
  DWORD waitMs;
};

const DialCase kDialCases[] = {
    {"instant", L"instant.vpn.lab", L"labpass", 0, RASCS_Connected, 0, 0, 2000},
    {"slow", L"slow.vpn.lab", L"labpass", 0, RASCS_Connected, 0, 2500, 6000},
    {"refused", L"refused.vpn.lab", L"labpass", 0, RASCS_Disconnected, ERROR_AUTHENTICATION_FAILURE, 0, 2000},
    {"wrongPassword", L"instant.vpn.lab", L"guess", 0, RASCS_Disconnected, ERROR_AUTHENTICATION_FAILURE, 0, 2000},
    {"unknownServer", L"nowhere.vpn.lab", L"labpass", 0, RASCS_Disconnected, ERROR_DNSNAME_NOT_RESOLVABLE, 0, 2000},
    {"stalled", L"stalled.vpn.lab", L"labpass", 0, 0, 0, 0, 1500},
    {"nostart", L"nostart.vpn.lab", L"labpass", ERROR_PORT_NOT_AVAILABLE, 0, 0, 0, 0},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DialCase& c, std::ostream* out) { *out << c.label; }

class DialBehaviour : public testing::TestWithParam<DialCase> {
 protected:
  void SetUp() override {
    entry_ = labtest::uniqueName(L"lab-dial");
    ASSERT_EQ(labtest::putEntry(entry_, GetParam().server), 0u);
  }
  void TearDown() override { RasDeleteEntryW(nullptr, entry_.c_str()); }

  std::wstring entry_;
};

// Intermediate states come first, in the order RAS walks them, and nothing
// follows a final state.
void expectOrderedProgress(const std::vector<DialEvent>& events) {
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().state, RASCS_OpenPort);
  for (size_t i = 1; i < events.size(); ++i) {
    EXPECT_LT(events[i - 1].state, events[i].state) << "event " << i;
    EXPECT_LT(events[i - 1].state, RASCS_Connected) << "event after a final state";
  }
}

TEST_P(DialBehaviour, ReportsItsCourseAndLeavesNothingAfterHangUp) {
  const DialCase& c = GetParam();
  HRASCONN handle = nullptr;
  DWORD started = GetTickCount();
  ASSERT_EQ(labtest::dial(entry_, L"labuser", c.password, &handle), c.dialResult);
  if (c.dialResult != 0) {
    EXPECT_EQ(handle, nullptr);
    return;
  }
  ASSERT_NE(handle, nullptr);
  std::vector<DialEvent> events = labtest::DialObserver::waitFinal(c.waitMs);
  DWORD elapsed = GetTickCount() - started;
  expectOrderedProgress(events);

  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(handle, status), 0u);
  if (c.finalState == 0) {
    EXPECT_LT(events.back().state, RASCS_Connected);
    EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), static_cast<DWORD>(events.back().state));
  } else {
    EXPECT_EQ(static_cast<DWORD>(events.back().state), c.finalState);
    EXPECT_EQ(events.back().error, c.finalError);
    EXPECT_GE(elapsed, c.minDelayMs);
    EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), c.finalState);
    EXPECT_EQ(status.dwError, c.finalError);
  }
  bool connected = c.finalState == RASCS_Connected;
  std::vector<MIB_IFROW> adapters = labtest::adapterRowsFor(entry_);
  ASSERT_EQ(adapters.size(), connected ? 1u : 0u);
  if (connected) {
    EXPECT_EQ(adapters[0].dwType, static_cast<DWORD>(IF_TYPE_PPP));
    EXPECT_EQ(adapters[0].dwOperStatus, static_cast<DWORD>(MIB_IF_OPER_STATUS_OPERATIONAL));
  }

  EXPECT_EQ(RasHangUpW(handle), 0u);
  EXPECT_EQ(labtest::connectionStatus(handle, status), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(RasHangUpW(handle), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(labtest::adapterRowsFor(entry_).empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, DialBehaviour, testing::ValuesIn(kDialCases),
                         [](const testing::TestParamInfo<DialCase>& info) { return std::string(info.param.label); });

TEST(RasDialRecord, KeepsWhatTheDialWasGivenButNotThePassword) {
  std::wstring entry = labtest::uniqueName(L"lab-record");
  ASSERT_EQ(labtest::putEntry(entry, L"instant.vpn.lab"), 0u);
  HRASCONN handle = nullptr;
  ASSERT_EQ(labtest::dial(entry, L"labuser", L"labpass", &handle, ras_layout::kRasDialParamsSizeW7), 0u);
  labtest::DialObserver::waitFinal(2000);
  RasHangUpW(handle);
  RasDeleteEntryW(nullptr, entry.c_str());

  lab::Snapshot state = lab::snapshot();
  auto record = std::find_if(state.dials.rbegin(), state.dials.rend(),
                             [&](const lab::DialRecord& d) { return d.entryName == entry; });
  ASSERT_NE(record, state.dials.rend());
  EXPECT_EQ(record->userName, L"labuser");
  EXPECT_EQ(record->serverAddress, L"instant.vpn.lab");
  EXPECT_EQ(record->paramsSize, ras_layout::kRasDialParamsSizeW7);
  EXPECT_EQ(record->passwordLength, 7u);
  EXPECT_EQ(record->passwordDigest, lab::passwordDigest(L"labpass"));
  EXPECT_NE(record->passwordDigest, lab::passwordDigest(L"labpasS"));
  EXPECT_EQ(lab::rasHandle(record->connection), handle);
  EXPECT_EQ(lab::describe(state).find("labpass"), std::string::npos);
}

// Two live connections: the size query names both, the filled buffer lists
// them under their entry names and handles.
TEST(ConnectionEnumeration, ListsLiveConnectionsAfterTheSizeQuery) {
  std::wstring first = labtest::uniqueName(L"lab-enum"), second = labtest::uniqueName(L"lab-enum");
  HRASCONN handles[2] = {};
  for (int i = 0; i < 2; ++i) {
    const std::wstring& entry = i == 0 ? first : second;
    ASSERT_EQ(labtest::putEntry(entry, L"instant.vpn.lab"), 0u);
    ASSERT_EQ(labtest::dial(entry, L"labuser", L"labpass", &handles[i]), 0u);
    ASSERT_EQ(labtest::DialObserver::waitFinal(2000).back().state, RASCS_Connected);
  }

  DWORD size = 0, count = 0;
  ASSERT_EQ(RasEnumConnectionsW(nullptr, &size, &count), static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL));
  EXPECT_GE(count, 2u);
  EXPECT_EQ(size, count * ras_layout::kRasConnSizeW7);
  std::vector<RasConnW7> connections = labtest::liveConnections();
  for (int i = 0; i < 2; ++i) {
    const std::wstring& entry = i == 0 ? first : second;
    auto found = std::find_if(connections.begin(), connections.end(),
                              [&](const RasConnW7& c) { return entry == c.szEntryName; });
    ASSERT_NE(found, connections.end());
    EXPECT_EQ(found->hrasconn, handles[i]);
    EXPECT_EQ(found->dwSize, ras_layout::kRasConnSizeW7);
    EXPECT_EQ(RasHangUpW(handles[i]), 0u);
    RasDeleteEntryW(nullptr, entry.c_str());
  }
}

}  // namespace
