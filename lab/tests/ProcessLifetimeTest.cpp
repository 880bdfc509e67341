// What outlives a process and what does not: a dynamic WFP session dies with
// the process that opened it, a RAS connection does not and can be hung up
// by any other process, and so does a hang-up its process did not see
// through.

#include "LabInspect.h"
#include "LabTestSupport.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>
#include <raserror.h>

namespace {

constexpr UINT16 kHelperPort = 47101;
constexpr DWORD kPatienceMs = 15000;

lab::UniqueHandle startHelper(const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + labtest::besideTests(L"lab_test_helper.exe") + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return lab::UniqueHandle();
  CloseHandle(process.hThread);
  return lab::UniqueHandle(process.hProcess);
}

bool blocked(UINT16 port) { return !lab::probe({port, 1, lab::IpVersion::V4}).permitted; }

bool hasSessionOf(DWORD pid) {
  lab::Snapshot state = lab::snapshot();
  return std::any_of(state.sessions.begin(), state.sessions.end(),
                     [&](const lab::Session& s) { return s.ownerPid == pid; });
}

template <class Condition>
bool waitFor(Condition condition) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += 100) {
    if (condition()) return true;
    Sleep(100);
  }
  return condition();
}

// The helper's exit code once it has ended; 1 when it never started or
// did not end within the test's patience.
DWORD exitCodeOf(lab::UniqueHandle helper) {
  DWORD exitCode = 1;
  if (helper.valid() && WaitForSingleObject(helper.get(), kPatienceMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(helper.get(), &exitCode);
  return exitCode;
}

std::vector<RasConnW7>::const_iterator connectionOf(const std::vector<RasConnW7>& connections,
                                                     const std::wstring& entry) {
  return std::find_if(connections.begin(), connections.end(),
                      [&](const RasConnW7& c) { return entry == c.szEntryName; });
}

TEST(ProcessLifetime, DynamicSessionEndsWithTheProcessThatOpenedIt) {
  lab::UniqueHandle helper = startHelper(L"hold-session " + std::to_wstring(kHelperPort));
  ASSERT_TRUE(helper.valid());
  DWORD pid = GetProcessId(helper.get());
  ASSERT_TRUE(waitFor([] { return blocked(kHelperPort); })) << "the helper's block filter never appeared";
  EXPECT_TRUE(hasSessionOf(pid));

  ASSERT_TRUE(TerminateProcess(helper.get(), 9));
  ASSERT_EQ(WaitForSingleObject(helper.get(), kPatienceMs), WAIT_OBJECT_0);
  helper.reset();
  EXPECT_FALSE(blocked(kHelperPort));
  EXPECT_FALSE(hasSessionOf(pid));
}

TEST(ProcessLifetime, ConnectionOutlivesTheDialerAndAnyProcessCanHangItUp) {
  std::wstring entry = labtest::uniqueName(L"lab-orphan");
  ASSERT_EQ(exitCodeOf(startHelper(L"dial \"" + entry + L"\"")), 0u);

  const std::vector<RasConnW7> connections = labtest::liveConnections();
  const auto found = connectionOf(connections, entry);
  ASSERT_NE(found, connections.end());
  ASSERT_EQ(labtest::adapterRowsFor(entry).size(), 1u);

  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(found->hrasconn, status), 0u);
  EXPECT_EQ(status.rasconnstate, RASCS_Connected);
  EXPECT_EQ(RasHangUpW(found->hrasconn), 0u);
  EXPECT_TRUE(labtest::waitClosed(found->hrasconn));
  EXPECT_TRUE(labtest::adapterRowsFor(entry).empty());
  RasDeleteEntryW(nullptr, entry.c_str());
}

// RasHangUp's documentation: an application that exits before the hang-up
// completes may leave the connection open. The helper's hang-ups take a
// minute; it exits right after RasHangUpW returns, and the connection is
// open again for everyone, in the state it had.
TEST(ProcessLifetime, ExitingBeforeTheHangUpCompletesLeavesTheConnectionOpen) {
  std::wstring entry = labtest::uniqueName(L"lab-abandon");
  lab::UniqueHandle helper;
  {
    labtest::ProcessHangUpDelay slowHangUps(lab::kMaxHangUpDelayMs);
    helper = startHelper(L"dial-hang-up-exit \"" + entry + L"\"");
  }
  ASSERT_EQ(exitCodeOf(std::move(helper)), 0u);

  const std::vector<RasConnW7> connections = labtest::liveConnections();
  const auto found = connectionOf(connections, entry);
  ASSERT_NE(found, connections.end()) << "the abandoned hang-up left nothing to hang up";
  RasConnStatusW7 status;
  ASSERT_EQ(labtest::connectionStatus(found->hrasconn, status), 0u);
  EXPECT_EQ(status.rasconnstate, RASCS_Connected);
  EXPECT_EQ(labtest::adapterRowsFor(entry).size(), 1u);

  EXPECT_TRUE(labtest::hangUpAndWait(found->hrasconn));
  EXPECT_TRUE(labtest::adapterRowsFor(entry).empty());
  RasDeleteEntryW(nullptr, entry.c_str());
}

}  // namespace
