// Hang-up is asynchronous, as on Windows: RasHangUpW returns while the
// connection is still closing; the status answers for it (as disconnected),
// its adapter stays in the interface table and its entry cannot be dialed
// until it has closed. An open connection, whatever its state, holds its
// entry until it is hung up.

#include "LabCtl.h"
#include "LabInspect.h"
#include "LabTestSupport.h"

#include <gtest/gtest.h>
#include <raserror.h>

#include <algorithm>

namespace {

// Long enough for every look below to fall inside the closing time.
constexpr DWORD kClosingMs = 5000;

bool listed(const std::wstring& entry) {
  std::vector<RasConnW7> connections = labtest::liveConnections();
  return std::any_of(connections.begin(), connections.end(),
                     [&](const RasConnW7& c) { return entry == c.szEntryName; });
}

const lab::Connection* connectionOf(const lab::Snapshot& state, const std::wstring& entry) {
  for (const lab::Connection& c : state.connections)
    if (c.entryName == entry) return &c;
  return nullptr;
}

class HangUp : public testing::Test {
 protected:
  void SetUp() override {
    entry_ = labtest::uniqueName(L"lab-hangup");
    ASSERT_EQ(labtest::putEntry(entry_, L"instant.vpn.lab"), 0u);
    ASSERT_EQ(labtest::dial(entry_, L"labuser", L"labpass", &handle_), 0u);
    ASSERT_EQ(labtest::DialObserver::waitFinal(2000).back().state, RASCS_Connected);
  }
  void TearDown() override { RasDeleteEntryW(nullptr, entry_.c_str()); }

  std::wstring entry_;
  HRASCONN handle_ = nullptr;
};

TEST_F(HangUp, ReturnsWhileTheConnectionIsStillClosing) {
  labtest::ProcessHangUpDelay delay(kClosingMs);
  ASSERT_EQ(RasHangUpW(handle_), 0u);

  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(handle_, status), 0u) << "the status answers until the connection has closed";
  EXPECT_EQ(status.rasconnstate, RASCS_Disconnected);
  EXPECT_EQ(status.dwError, 0u);
  EXPECT_EQ(labtest::adapterRowsFor(entry_).size(), 1u) << "the adapter goes when the connection has closed";
  EXPECT_FALSE(listed(entry_)) << "a connection being hung up is no longer listed";
  EXPECT_EQ(RasHangUpW(handle_), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "the handle is spent";
  const lab::Connection* shown = connectionOf(lab::snapshot(), entry_);
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->closing());
  EXPECT_EQ(shown->closerPid, GetCurrentProcessId());
  EXPECT_NE(lab::describe(lab::snapshot()).find("closing due-in"), std::string::npos);

  HRASCONN again = nullptr;
  EXPECT_EQ(labtest::dial(entry_, L"labuser", L"labpass", &again), static_cast<DWORD>(ERROR_ALREADY_DISCONNECTING));
  EXPECT_EQ(again, nullptr);

  ASSERT_TRUE(labtest::waitClosed(handle_, kClosingMs + 15000));
  EXPECT_TRUE(labtest::adapterRowsFor(entry_).empty());
  EXPECT_EQ(connectionOf(lab::snapshot(), entry_), nullptr);
  ASSERT_EQ(labtest::dial(entry_, L"labuser", L"labpass", &again), 0u) << "the entry dials again once closed";
  EXPECT_EQ(labtest::DialObserver::waitFinal(2000).back().state, RASCS_Connected);
  EXPECT_TRUE(labtest::hangUpAndWait(again));
}

TEST_F(HangUp, WithoutDelayClosesBeforeReturning) {
  labtest::ProcessHangUpDelay delay(0);
  ASSERT_EQ(RasHangUpW(handle_), 0u);
  RasConnStatusW7 status;
  EXPECT_EQ(labtest::connectionStatus(handle_, status), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(labtest::adapterRowsFor(entry_).empty());
}

// The machine-wide delay applies to processes without the variable; labctl
// shows and sets it, refuses what is out of range, and reset keeps it.
TEST(HangUpDelay, IsMachineWideAndLabctlSetsIt) {
  DWORD before = lab::hangUpDelay();
  std::string out;
  ASSERT_EQ(lab::LabCtl::run({L"hangup-delay", L"1234"}, out), 0) << out;
  EXPECT_EQ(lab::hangUpDelay(), 1234u);
  EXPECT_EQ(lab::snapshot().hangUpDelayMs, 1234u);
  out.clear();
  EXPECT_EQ(lab::LabCtl::run({L"hangup-delay"}, out), 0);
  EXPECT_EQ(out, "hang-up delay 1234 ms\n");
  out.clear();
  EXPECT_NE(lab::LabCtl::run({L"hangup-delay", std::to_wstring(lab::kMaxHangUpDelayMs + 1)}, out), 0);
  EXPECT_EQ(lab::hangUpDelay(), 1234u);
  out.clear();
  EXPECT_EQ(lab::LabCtl::run({L"show"}, out), 0);
  EXPECT_NE(out.find("hang-up delay 1234 ms"), std::string::npos) << out;
  lab::setHangUpDelay(before);
  EXPECT_EQ(lab::hangUpDelay(), before);
}

struct HoldCase {
  const char* label;
  const wchar_t* server;
  const wchar_t* password;
  DWORD dialResult;
  DWORD status;  // the state the open connection answers with
  DWORD error;
};

const HoldCase kHoldCases[] = {
    {"connected", L"instant.vpn.lab", L"labpass", 0, RASCS_Connected, 0},
    {"refused", L"refused.vpn.lab", L"labpass", 0, RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE},
    {"halfStarted", L"halfstart.vpn.lab", L"labpass", ERROR_PORT_NOT_AVAILABLE, RASCS_OpenPort,
     ERROR_PORT_NOT_AVAILABLE},
};

void PrintTo(const HoldCase& c, std::ostream* out) { *out << c.label; }

class OpenConnection : public testing::TestWithParam<HoldCase> {};

// Until it is hung up, a connection's entry cannot be dialed again, and the
// connection is listed for any process to hang up: a failed dial and one
// that returned a handle with its error as much as a connected one.
TEST_P(OpenConnection, HoldsItsEntryUntilHungUp) {
  const HoldCase& c = GetParam();
  ASSERT_NE(lab::serverDirectory().find(labtest::utf8(c.server)), std::string::npos)
      << "the prefix's server directory predates this server: labctl servers default";
  std::wstring entry = labtest::uniqueName(L"lab-hold");
  ASSERT_EQ(labtest::putEntry(entry, c.server), 0u);
  HRASCONN handle = nullptr;
  ASSERT_EQ(labtest::dial(entry, L"labuser", c.password, &handle), c.dialResult);
  ASSERT_NE(handle, nullptr);
  if (c.dialResult == 0) labtest::DialObserver::waitFinal(2000);

  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(handle, status), 0u);
  EXPECT_EQ(static_cast<DWORD>(status.rasconnstate), c.status);
  EXPECT_EQ(status.dwError, c.error);
  EXPECT_TRUE(listed(entry));
  HRASCONN second = nullptr;
  EXPECT_EQ(labtest::dial(entry, L"labuser", L"labpass", &second), static_cast<DWORD>(ERROR_PORT_ALREADY_OPEN));
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(labtest::putEntry(entry, c.server), 0u) << "Windows documents no error for changing an entry in use";

  EXPECT_TRUE(labtest::hangUpAndWait(handle));
  EXPECT_FALSE(listed(entry));
  RasDeleteEntryW(nullptr, entry.c_str());
}

INSTANTIATE_TEST_SUITE_P(States, OpenConnection, testing::ValuesIn(kHoldCases),
                         [](const testing::TestParamInfo<HoldCase>& info) { return std::string(info.param.label); });

}  // namespace
