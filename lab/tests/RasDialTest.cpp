// How a dial unfolds for each kind of server in the lab's default directory,
// seen through the notifier, the status, the enumeration, the interface
// table and hang-up. A failed dial is reported as Windows reports it: the
// notifier hears the state it failed in once more, with the error, and the
// handle answers for it until it is hung up.

#include "LabInspect.h"
#include "LabTestSupport.h"

#include <gtest/gtest.h>
#include <raserror.h>

#include <algorithm>

namespace {

using labtest::DialEvent;

// RASCS_OpenPort is 0, so "no final state" needs a value of its own.
constexpr DWORD kNoFinalState = 0xFFFFFFFF;

struct DialCase {
  const char* label;
  const wchar_t* server;
  const wchar_t* password;
  DWORD dialResult;
  bool handsOutHandle;
  DWORD finalState;  // the state the dial ends in; kNoFinalState: none within waitMs
  DWORD finalError;
  DWORD minDelayMs;
  DWORD waitMs;
};

const DialCase kDialCases[] = {
    {"instant", L"instant.vpn.lab", L"labpass", 0, true, RASCS_Connected, 0, 0, 2000},
    {"slow", L"slow.vpn.lab", L"labpass", 0, true, RASCS_Connected, 0, 2500, 6000},
    {"refused", L"refused.vpn.lab", L"labpass", 0, true, RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE, 0, 2000},
    {"wrongPassword", L"instant.vpn.lab", L"guess", 0, true, RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE, 0,
     2000},
    {"unknownServer", L"nowhere.vpn.lab", L"labpass", 0, true, RASCS_ConnectDevice, ERROR_DNSNAME_NOT_RESOLVABLE, 0,
     2000},
    {"noAnswer", L"noanswer.vpn.lab", L"labpass", 0, true, RASCS_ConnectDevice, ERROR_AUTOMATIC_VPN_FAILED, 800,
     4000},
    {"stalled", L"stalled.vpn.lab", L"labpass", 0, true, kNoFinalState, 0, 0, 1500},
    {"nostart", L"nostart.vpn.lab", L"labpass", ERROR_PORT_NOT_AVAILABLE, false, kNoFinalState, 0, 0, 0},
    {"halfstart", L"halfstart.vpn.lab", L"labpass", ERROR_PORT_NOT_AVAILABLE, true, RASCS_OpenPort,
     ERROR_PORT_NOT_AVAILABLE, 0, 300},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DialCase& c, std::ostream* out) { *out << c.label; }

class DialBehaviour : public testing::TestWithParam<DialCase> {
 protected:
  void SetUp() override {
    const DialCase& c = GetParam();
    if (std::wstring(c.server) != L"nowhere.vpn.lab") {
      ASSERT_NE(lab::serverDirectory().find(labtest::utf8(c.server)), std::string::npos)
          << "the prefix's server directory predates this server: labctl servers default";
    }
    entry_ = labtest::uniqueName(L"lab-dial");
    ASSERT_EQ(labtest::putEntry(entry_, c.server), 0u);
  }
  // A case that stopped half-way leaves no connection behind.
  void TearDown() override {
    if (handle_ != nullptr) RasHangUpW(handle_);
    RasDeleteEntryW(nullptr, entry_.c_str());
  }

  std::wstring entry_;
  HRASCONN handle_ = nullptr;
};

// States come in the order RAS walks them. A dial that connects ends with
// Authenticated and Connected; one that fails ends with the state it
// failed in, heard a second time with the error. Nothing follows either.
void expectCourse(const std::vector<DialEvent>& events, const DialCase& c) {
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().state, RASCS_OpenPort);
  size_t progress = events.size() - (c.finalError != 0 ? 1 : 0);
  for (size_t i = 0; i < progress; ++i) {
    EXPECT_EQ(events[i].error, 0u) << "event " << i;
    if (i > 0) {
      EXPECT_LT(events[i - 1].state, events[i].state) << "event " << i;
    }
  }
  if (c.finalError != 0) {
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(events.back().state), c.finalState);
    EXPECT_EQ(events.back().error, c.finalError);
    EXPECT_EQ(events[events.size() - 2].state, events.back().state) << "fails in the state it reached";
  } else if (c.finalState == RASCS_Connected) {
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.back().state, RASCS_Connected);
    EXPECT_EQ(events[events.size() - 2].state, RASCS_Authenticated);
  }
}

bool listed(HRASCONN handle) {
  std::vector<RasConnW7> connections = labtest::liveConnections();
  return std::any_of(connections.begin(), connections.end(), [&](const RasConnW7& c) { return c.hrasconn == handle; });
}

TEST_P(DialBehaviour, ReportsItsCourseAndLeavesNothingAfterHangUp) {
  const DialCase& c = GetParam();
  HRASCONN& handle = handle_;
  DWORD started = GetTickCount();
  ASSERT_EQ(labtest::dial(entry_, L"labuser", c.password, &handle), c.dialResult);
  if (!c.handsOutHandle) {
    EXPECT_EQ(handle, nullptr);
    return;
  }
  ASSERT_NE(handle, nullptr);
  std::vector<DialEvent> events = labtest::DialObserver::waitFinal(c.waitMs);
  DWORD elapsed = GetTickCount() - started;
  if (c.dialResult != 0) EXPECT_TRUE(events.empty()) << "a dial that could not start notifies nothing";
  else expectCourse(events, c);

  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(handle, status), 0u);
  if (c.finalState == kNoFinalState) {
    ASSERT_FALSE(events.empty());
    EXPECT_FALSE(labtest::endsDial(events.back()));
    EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), static_cast<DWORD>(events.back().state));
    EXPECT_EQ(status.dwError, 0u);
  } else {
    EXPECT_GE(elapsed, c.minDelayMs);
    EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), c.finalState);
    EXPECT_EQ(status.dwError, c.finalError);
  }
  EXPECT_TRUE(listed(handle)) << "a connection is listed until it is hung up, whatever its state";
  bool connected = c.finalState == RASCS_Connected;
  std::vector<MIB_IFROW> adapters = labtest::adapterRowsFor(entry_);
  ASSERT_EQ(adapters.size(), connected ? 1u : 0u);
  if (connected) {
    EXPECT_EQ(adapters[0].dwType, static_cast<DWORD>(IF_TYPE_PPP));
    EXPECT_EQ(adapters[0].dwOperStatus, static_cast<DWORD>(MIB_IF_OPER_STATUS_OPERATIONAL));
  }

  EXPECT_EQ(RasHangUpW(handle), 0u);
  EXPECT_FALSE(listed(handle));
  EXPECT_TRUE(labtest::waitClosed(handle));
  EXPECT_EQ(RasHangUpW(handle), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(labtest::adapterRowsFor(entry_).empty());
  handle = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Servers, DialBehaviour, testing::ValuesIn(kDialCases),
                         [](const testing::TestParamInfo<DialCase>& info) { return std::string(info.param.label); });

struct SynchronousCase {
  const char* label;
  const wchar_t* server;
  DWORD result;
  DWORD state;
};

const SynchronousCase kSynchronousCases[] = {
    {"connects", L"instant.vpn.lab", 0, RASCS_Connected},
    {"isRefused", L"refused.vpn.lab", ERROR_AUTHENTICATION_FAILURE, RASCS_Authenticate},
    {"findsNoServer", L"nowhere.vpn.lab", ERROR_DNSNAME_NOT_RESOLVABLE, RASCS_ConnectDevice},
};

void PrintTo(const SynchronousCase& c, std::ostream* out) { *out << c.label; }

class SynchronousDial : public testing::TestWithParam<SynchronousCase> {};

// Without a notifier RasDialW returns the outcome; a failed dial's handle
// comes back with its error and answers for the failure until hung up.
TEST_P(SynchronousDial, ReturnsTheOutcomeWithTheHandle) {
  const SynchronousCase& c = GetParam();
  std::wstring entry = labtest::uniqueName(L"lab-sync");
  ASSERT_EQ(labtest::putEntry(entry, c.server), 0u);
  RasDialParamsW81 params{};
  params.dwSize = labtest::dialParamsSize();
  wcsncpy(params.szEntryName, entry.c_str(), RAS_MaxEntryName);
  wcscpy(params.szUserName, L"labuser");
  wcscpy(params.szPassword, L"labpass");
  HRASCONN handle = nullptr;
  EXPECT_EQ(RasDialW(nullptr, nullptr, reinterpret_cast<RASDIALPARAMSW*>(&params), 0, nullptr, &handle), c.result);
  ASSERT_NE(handle, nullptr);
  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(handle, status), 0u);
  EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), c.state);
  EXPECT_EQ(status.dwError, c.result);
  EXPECT_TRUE(labtest::hangUpAndWait(handle));
  RasDeleteEntryW(nullptr, entry.c_str());
}

INSTANTIATE_TEST_SUITE_P(Servers, SynchronousDial, testing::ValuesIn(kSynchronousCases),
                         [](const testing::TestParamInfo<SynchronousCase>& info) { return std::string(info.param.label); });

TEST(RasDialRecord, KeepsWhatTheDialWasGivenButNotThePassword) {
  std::wstring entry = labtest::uniqueName(L"lab-record");
  ASSERT_EQ(labtest::putEntry(entry, L"instant.vpn.lab"), 0u);
  HRASCONN handle = nullptr;
  ASSERT_EQ(labtest::dial(entry, L"labuser", L"labpass", &handle, ras_layout::kRasDialParamsSizeW7), 0u);
  labtest::DialObserver::waitFinal(2000);
  EXPECT_TRUE(labtest::hangUpAndWait(handle));
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
    EXPECT_TRUE(labtest::hangUpAndWait(handles[i]));
    RasDeleteEntryW(nullptr, entry.c_str());
  }
}

// The adapter's description is the entry name in the ANSI code page, as the
// rows of Windows and of Wine's own iphlpapi are, not its UTF-8 bytes.
TEST(InterfaceTable, DescribesTheAdapterInTheAnsiCodePage) {
  std::wstring entry = labtest::uniqueName(L"lab-z\u00fcrich-\u00e9t\u00e9");
  ASSERT_NE(labtest::ansi(entry), labtest::utf8(entry)) << "the ANSI code page is UTF-8 (" << GetACP() << ")";
  ASSERT_EQ(labtest::putEntry(entry, L"instant.vpn.lab"), 0u);
  HRASCONN handle = nullptr;
  ASSERT_EQ(labtest::dial(entry, L"labuser", L"labpass", &handle), 0u);
  ASSERT_EQ(labtest::DialObserver::waitFinal(2000).back().state, RASCS_Connected);

  lab::Snapshot state = lab::snapshot();
  auto adapter = std::find_if(state.adapters.begin(), state.adapters.end(),
                              [&](const lab::Adapter& a) { return lab::rasHandle(a.connection) == handle; });
  ASSERT_NE(adapter, state.adapters.end());
  std::vector<MIB_IFROW> rows = labtest::interfaceRows();
  auto row = std::find_if(rows.begin(), rows.end(), [&](const MIB_IFROW& r) { return r.dwIndex == adapter->index; });
  ASSERT_NE(row, rows.end());
  std::string description(reinterpret_cast<const char*>(row->bDescr), row->dwDescrLen);
  EXPECT_EQ(description, labtest::ansi(entry));
  EXPECT_EQ(row->bDescr[row->dwDescrLen], 0) << "NUL-terminated";
  EXPECT_EQ(labtest::adapterRowsFor(entry).size(), 1u);

  EXPECT_TRUE(labtest::hangUpAndWait(handle));
  RasDeleteEntryW(nullptr, entry.c_str());
}

}  // namespace
