#include "ChildProcess.h"
#include "LabInspect.h"
#include "LogSettings.h"
#include "PipeVisitor.h"
#include "ServiceLog.h"
#include "ServicePipe.h"
#include "ServiceProgram.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"
#include "ZeravVPN.h"

#include <ras.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* entryName = "Zerav VPN";
constexpr const char* instantServer = "instant.vpn.lab";

// What the library hands to the host's result callback, and when.
struct Outcome {
    bool success;
    Clock::time_point at;
};

class ResultProbe {
public:
    static void callback(bool success)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        outcomes_.push_back({success, Clock::now()});
        changed_.notify_all();
    }

    // The next outcome not yet taken; nothing when none comes in time.
    static std::optional<Outcome> next()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(30), [] { return outcomes_.size() > taken_; }))
            return std::nullopt;
        return outcomes_[taken_++];
    }

    static size_t count()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return outcomes_.size();
    }

private:
    static inline std::mutex mutex_;
    static inline std::condition_variable changed_;
    static inline std::vector<Outcome> outcomes_;
    static inline size_t taken_ = 0;
};

void configureHost(const char* entry)
{
    ZeravVPN_setConfig(entry, "labuser", "labpass", "", "zerav_VPN_service.exe", 10000);
}

bool connectedThroughLab(const lab::Snapshot& state)
{
    return std::any_of(state.connections.begin(), state.connections.end(),
                       [](const lab::Connection& c) { return c.state == RASCS_Connected; });
}

bool dnsLocked()
{
    const lab::Snapshot state = lab::snapshot();
    return !state.filters.empty() && connectedThroughLab(state);
}

bool dnsUnlockedAndHungUp()
{
    const lab::Snapshot state = lab::snapshot();
    return state.filters.empty() && !connectedThroughLab(state);
}

// The host of the test: connects through the service and stays until the
// test kills it.
ZERAV_CHILD_ROLE(connected_host)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    configureHost(entryName);
    ZeravVPN_connect(instantServer, true, ResultProbe::callback);
    const auto outcome = ResultProbe::next();
    if (!outcome || !outcome->success)
        return 2;
    Sleep(INFINITE);
    return 0;
}

// The service installed and running under the service control manager of
// the lab prefix, driven through its own command line as an administrator
// would, with this program as its host.
class ServiceEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        removeService();
        lab::reset();
        DeleteFileA(serviceLog.c_str());
        DeleteFileA((serviceLog + ".old").c_str());
        ZeravVPN_initLogging(hostLog.c_str(), 0, true);
        configureHost(entryName);
        ASSERT_EQ(runServiceProgram(L"install").exitCode, 0u);
        ASSERT_TRUE(queryService(status));
    }

    void TearDown() override
    {
        removeService();
        lab::reset();
        ZeravVPN_initLogging(LogSettings::defaultPath().c_str(), 0, true);
    }

    static void removeService()
    {
        runServiceProgram(L"stop");
        runServiceProgram(L"delete");
    }

    void startService()
    {
        ASSERT_EQ(runServiceProgram(L"start").exitCode, 0u);
        ASSERT_TRUE(queryService(status));
        ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    }

    std::optional<Outcome> connect(const char* server, Clock::time_point& asked)
    {
        asked = Clock::now();
        ZeravVPN_connect(server, true, ResultProbe::callback);
        return ResultProbe::next();
    }

    std::vector<std::string> serviceMessages() const { return messagesOf(readLogEntries(serviceLog)); }
    std::vector<std::string> hostMessages() const { return messagesOf(readLogEntries(hostLog)); }
    bool serviceLogged(const std::string& line) const
    {
        const auto all = serviceMessages();
        return std::find(all.begin(), all.end(), line) != all.end();
    }

    TempDirectory directory;
    std::string hostLog = directory.file("host.log");
    // The service runs under the same account as this program in the Wine
    // prefix, so its log is the default one of this account.
    std::string serviceLog = LogSettings::defaultPath();
    SERVICE_STATUS_PROCESS status = {};
};

TEST_F(ServiceEndToEnd, ConnectLocksDnsInTheServiceAndDisconnectUnlocks)
{
    startService();
    Clock::time_point asked;
    const auto connected = connect(instantServer, asked);
    ASSERT_TRUE(connected.has_value());
    EXPECT_TRUE(connected->success);
    EXPECT_GE(connected->at - asked, milliseconds(2100));

    const lab::Snapshot state = lab::snapshot();
    ASSERT_EQ(state.connections.size(), 1u);
    const lab::Connection& connection = state.connections.front();
    EXPECT_EQ(connection.state, static_cast<DWORD>(RASCS_Connected));
    EXPECT_EQ(connection.entryName, L"Zerav VPN");
    EXPECT_EQ(connection.dialerPid, GetCurrentProcessId());
    ASSERT_NE(connection.adapterIndex, 0u);

    ASSERT_EQ(state.sessions.size(), 1u);
    EXPECT_EQ(state.sessions.front().ownerPid, status.dwProcessId) << "DNS must be locked by the service";
    EXPECT_FALSE(state.filters.empty());
    for (const lab::Filter& filter : state.filters)
        EXPECT_EQ(filter.sessionId, state.sessions.front().id);
    EXPECT_TRUE(lab::probe({53, connection.adapterIndex, lab::IpVersion::V4}).permitted);
    EXPECT_FALSE(lab::probe({53, connection.adapterIndex + 1, lab::IpVersion::V4}).permitted);
    EXPECT_FALSE(lab::probe({53, connection.adapterIndex + 1, lab::IpVersion::V6}).permitted);

    EXPECT_TRUE(containsInOrder(serviceMessages(),
                                {"Executing command PING...", "Service seply: OK",
                                 "Observe client PID " + std::to_string(GetCurrentProcessId()),
                                 "Executing command LOCK_DNS_LEAKS...", "DNS leaks locked",
                                 "Client PID " + std::to_string(GetCurrentProcessId()) + " holds the DNS lock",
                                 "Service seply: OK"}));

    ZeravVPN_disconnect(ResultProbe::callback);
    const auto disconnected = ResultProbe::next();
    ASSERT_TRUE(disconnected.has_value());
    EXPECT_TRUE(disconnected->success);
    EXPECT_TRUE(dnsUnlockedAndHungUp());
    EXPECT_TRUE(lab::probe({53, connection.adapterIndex + 1, lab::IpVersion::V4}).permitted);
    EXPECT_TRUE(containsInOrder(serviceMessages(),
                                {"Executing command UNLOCK_DNS_LEAKS...", "DNS leaks unlocked", "Service seply: OK"}));
}

TEST_F(ServiceEndToEnd, AConnectTheServiceCannotLockIsTornDown)
{
    // The service looks for the adapter of its own entry name, so a host
    // with another one gets FAIL for its lock.
    configureHost("Zerav VPN elsewhere");
    startService();
    Clock::time_point asked;
    const auto outcome = connect(instantServer, asked);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(outcome->success);
    EXPECT_GE(outcome->at - asked, milliseconds(2100));

    const lab::Snapshot state = lab::snapshot();
    EXPECT_FALSE(connectedThroughLab(state));
    EXPECT_TRUE(state.filters.empty());
    EXPECT_TRUE(std::none_of(state.entries.begin(), state.entries.end(),
                             [](const lab::PhonebookEntry& e) { return e.name == L"Zerav VPN elsewhere"; }));
    EXPECT_TRUE(containsInOrder(serviceMessages(), {"Executing command LOCK_DNS_LEAKS...", "Service seply: FAIL"}));
    EXPECT_TRUE(containsInOrder(hostMessages(), {"Service performs lock DNS leaks. Result : false"}));
}

TEST_F(ServiceEndToEnd, TheServiceCleansUpAfterAKilledHost)
{
    startService();
    const std::string childLog = directory.file("child.log");
    const ProcessHandle host(startChild("connected_host", {childLog}));
    const unsigned long hostId = GetProcessId(host.get());
    ASSERT_TRUE(waitUntil([&] { return dnsLocked() && serviceLogged("Reply sent"); }, milliseconds(60000)));
    ASSERT_TRUE(serviceLogged("Observe client PID " + std::to_string(hostId)));
    ASSERT_EQ(WaitForSingleObject(host.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the host gave up";

    const auto killed = Clock::now();
    TerminateProcess(host.get(), 9);
    ASSERT_TRUE(waitUntil(dnsUnlockedAndHungUp, milliseconds(15000)));
    const auto cleanedUp = std::chrono::duration_cast<milliseconds>(Clock::now() - killed).count();
    RecordProperty("cleanup_after_kill_ms", static_cast<int>(cleanedUp));
    std::printf("service cleaned up %lld ms after the host was killed\n", static_cast<long long>(cleanedUp));

    // The hang-up's record follows once the service has seen the connection go.
    EXPECT_TRUE(waitUntil(
        [this] {
            return containsInOrder(serviceMessages(), {"Client process terminated, exit code = 9", "VPN::cleanup",
                                                       "DNS leaks unlocked", "RasHangUp AP 'Zerav VPN' result: 0"});
        },
        milliseconds(10000)));
}

struct VisitCase {
    const char* step;
    unsigned long reply;
};

class LockedServiceVisitors : public ServiceEndToEnd, public testing::WithParamInterface<VisitCase> {};

// Another process's visit to the pipe while a host holds the lock: its end
// takes nothing from the host, whose own end still cleans up.
TEST_P(LockedServiceVisitors, LeaveTheHostsProtectionInPlace)
{
    startService();
    const ProcessHandle host(startChild("connected_host", {directory.file("child.log")}));
    ASSERT_TRUE(waitUntil([&] { return dnsLocked() && serviceLogged("DNS leaks locked"); }, milliseconds(60000)));

    const PipeVisitor visitor({GetParam().step});
    EXPECT_EQ(visitor.exitCode(), GetParam().reply);
    EXPECT_FALSE(waitUntil([] { return !dnsLocked(); }, milliseconds(1000))) << "the visitor's end unlocked";
    EXPECT_FALSE(serviceLogged("Observe client PID " + std::to_string(visitor.id())));

    TerminateProcess(host.get(), 9);
    ASSERT_TRUE(waitUntil(dnsUnlockedAndHungUp, milliseconds(15000)));
    EXPECT_TRUE(containsInOrder(serviceMessages(), {"Client process terminated, exit code = 9", "VPN::cleanup"}));
}

INSTANTIATE_TEST_SUITE_P(Visits, LockedServiceVisitors,
                         testing::Values(VisitCase{"leave", 0}, VisitCase{"ping", SERVICE_REPLY_OK},
                                         VisitCase{"unlock", SERVICE_REPLY_FAIL}),
                         [](const testing::TestParamInfo<VisitCase>& info) { return std::string(info.param.step); });

// Every distinct (state, check point) the service control manager shows
// until the service has stopped.
std::vector<std::pair<DWORD, DWORD>> watchUntilStopped()
{
    std::vector<std::pair<DWORD, DWORD>> seen;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    SERVICE_STATUS_PROCESS status = {};
    while (Clock::now() < deadline && queryService(status)) {
        const std::pair<DWORD, DWORD> now{status.dwCurrentState, status.dwCheckPoint};
        if (seen.empty() || seen.back() != now)
            seen.push_back(now);
        if (status.dwCurrentState == SERVICE_STOPPED)
            break;
    }
    return seen;
}

TEST_F(ServiceEndToEnd, StopReportsItsStatesInOrderAndLeavesNoFilter)
{
    startService();
    Clock::time_point asked;
    const auto outcome = connect(instantServer, asked);
    ASSERT_TRUE(outcome.has_value() && outcome->success);
    ASSERT_TRUE(dnsLocked());

    std::vector<std::pair<DWORD, DWORD>> seen;
    std::thread watcher([&] { seen = watchUntilStopped(); });
    const ProgramRun stop = runServiceProgram(L"stop");
    watcher.join();

    EXPECT_EQ(stop.exitCode, 0u);
    EXPECT_TRUE(stop.output.empty()) << stop.output;
    const std::vector<std::pair<DWORD, DWORD>> order = {
        {SERVICE_RUNNING, 0}, {SERVICE_STOP_PENDING, 2}, {SERVICE_STOP_PENDING, 3}, {SERVICE_STOPPED, 0}};
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), order.back());
    auto position = order.begin();
    for (const auto& state : seen) {
        position = std::find(position, order.end(), state);
        EXPECT_NE(position, order.end()) << state.first << "/" << state.second << " out of order";
    }
    EXPECT_TRUE(lab::snapshot().filters.empty());
    EXPECT_TRUE(containsInOrder(serviceMessages(),
                                {"Service::DoStopSvc", "Service::SvcCtrlHandler", "'Terminate' event found",
                                 "VPN::cleanup", "DNS leaks unlocked", "Server stopped", "Service::ReportSvcStatus",
                                 "Service stopped successfully"}));
    // The library's record closes the service's own log; the stop command,
    // another process, may still write its last line after it.
    const auto messages = serviceMessages();
    const auto unload = std::find(messages.rbegin(), messages.rend(), "VPN::~VPN");
    ASSERT_NE(unload, messages.rend());
    for (auto later = messages.rbegin(); later != unload; ++later)
        EXPECT_EQ(*later, "Service stopped successfully");
}

// A service that cannot serve stops as failed, so that the service control
// manager's recovery actions can restart it.
TEST_F(ServiceEndToEnd, AServiceThatCannotCreateItsPipeStopsWithItsExitCode)
{
    const PipeHandle squatter(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 4, 4, 0,
                                               nullptr));
    ASSERT_TRUE(squatter.valid()) << GetLastError();
    ASSERT_EQ(runServiceProgram(L"start").exitCode, 0u);
    ASSERT_TRUE(waitUntil([&] { return queryService(status) && status.dwCurrentState == SERVICE_STOPPED; }));

    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status.dwServiceSpecificExitCode, 1u);
    const auto logged = serviceMessages();
    const auto failed = std::find_if(logged.begin(), logged.end(), [](const std::string& line) {
        return line.rfind("CreateNamedPipe() failed: ", 0) == 0;
    });
    ASSERT_NE(failed, logged.end());
    EXPECT_TRUE(containsInOrder(std::vector<std::string>(failed, logged.end()),
                                {"Service stops on a failure, service-specific exit code 1"}));
    EXPECT_TRUE(lab::snapshot().filters.empty());
}

TEST_F(ServiceEndToEnd, UpdateReplacesTheRunningServiceAndDeleteRemovesIt)
{
    startService();
    const DWORD before = status.dwProcessId;
    EXPECT_EQ(runServiceProgram(L"update").exitCode, 0u);
    ASSERT_TRUE(queryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(status.dwProcessId, before);
    EXPECT_TRUE(containsInOrder(serviceMessages(),
                                {"Service::DoUpdate", "Service stopped successfully", "Service deleted successfully",
                                 "Service installed successfully", "Service started successfully"}));

    // Quoted, so that no prefix of a path with spaces can be run instead.
    const std::wstring registered = serviceBinaryPath();
    const std::wstring expected = L"\"" + serviceProgramPath() + L"\"";
    EXPECT_EQ(CompareStringOrdinal(registered.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL);

    EXPECT_EQ(runServiceProgram(L"stop").exitCode, 0u);
    EXPECT_EQ(runServiceProgram(L"delete").exitCode, 0u);
    EXPECT_FALSE(queryService(status));
    EXPECT_TRUE(serviceLogged("Service deleted successfully"));
}

TEST_F(ServiceEndToEnd, ArgumentsOfAnotherCaseOnlyLog)
{
    startService();
    const DWORD running = status.dwProcessId;
    for (const wchar_t* argument : {L"Start", L"STOP", L"Delete", L"UPDATE", L"Install"}) {
        const ProgramRun run = runServiceProgram(argument);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.output.empty()) << run.output;
        const std::wstring wide = argument;
        EXPECT_TRUE(serviceLogged("Unexpected command line option: " + std::string(wide.begin(), wide.end())));
    }
    ASSERT_TRUE(queryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(status.dwProcessId, running);
}

TEST_F(ServiceEndToEnd, HelpPrintsTheUsageLine)
{
    for (const wchar_t* argument : {L"help", L"?"}) {
        const ProgramRun run = runServiceProgram(argument);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.output, "Usage : [install | start | stop | delete | update | help]\r\n");
    }
    const auto logged = serviceMessages();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Service::DoHelp"), 2);
}

TEST_F(ServiceEndToEnd, AConnectStartsTheStoppedService)
{
    ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    Clock::time_point asked;
    const auto outcome = connect(instantServer, asked);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->success);

    ASSERT_TRUE(queryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(dnsLocked());
    EXPECT_TRUE(containsInOrder(serviceMessages(), {"Service::DoStartSvc", "Service started successfully",
                                                    "Executing command LOCK_DNS_LEAKS...", "Service seply: OK"}));
    const auto host = hostMessages();
    EXPECT_TRUE(std::any_of(host.begin(), host.end(), [](const std::string& line) {
        return line.rfind("Executed: ", 0) == 0 && line.find("zerav_VPN_service.exe start. Exit code : 0") != std::string::npos;
    }));
}

} // namespace
