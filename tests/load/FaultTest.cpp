#include "ChildProcess.h"
#include "RunningService.h"
#include "UniqueHandle.h"

#include <ras.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <thread>

namespace {

using std::chrono::milliseconds;

std::string processLine(const char* what, unsigned long processId)
{
    return std::string(what) + std::to_string(processId);
}

// A host that starts a slow dial through the service and stays until the
// test kills it.
ZERAV_CHILD_ROLE(dialing_host)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    configureHost();
    ZeravVPN_connect("slow.vpn.lab", true, CallbackTally::callback);
    Sleep(INFINITE);
    return 0;
}

// Opens a file without sharing it and keeps it open until killed. Writers
// that have it open for a moment keep it from being opened so, so it tries
// until they let go.
ZERAV_CHILD_ROLE(lock_file)
{
    FileHandle file;
    for (int attempt = 0; attempt < 10000 && !file; ++attempt) {
        file.reset(CreateFileA(args.at(0).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            Sleep(1);
    }
    if (!file)
        return 2;
    Sleep(INFINITE);
    return 0;
}

using FaultTest = RunningService;

void killProcess(DWORD processId)
{
    const ProcessHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
    ASSERT_TRUE(process.valid());
    ASSERT_TRUE(TerminateProcess(process.get(), 1));
    ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
}

TEST_F(FaultTest, TheServiceKilledWhileDnsIsLockedTakesItsRulesAlong)
{
    const DWORD service = startService();
    ASSERT_TRUE(connect("instant.vpn.lab"));
    ASSERT_TRUE(lockedBy(service));
    const DWORD adapter = lab::snapshot().connections.at(0).adapterIndex;
    ASSERT_FALSE(lab::probe({53, adapter + 1, lab::IpVersion::V4}).permitted);

    killProcess(service);
    ASSERT_TRUE(waitUntil([] {
        const lab::Snapshot state = lab::snapshot();
        return state.sessions.empty() && state.filters.empty() && state.sublayers.empty();
    }));
    EXPECT_TRUE(lab::probe({53, adapter + 1, lab::IpVersion::V4}).permitted);
    EXPECT_TRUE(ZeravVPN_status()) << "the tunnel itself stays up";

    // The host still hangs up; only the unlock finds nobody to ask.
    EXPECT_FALSE(disconnect());
    EXPECT_EQ(vpnErrorTexts(),
              std::vector<std::string>{"CreateFile(): named pipe failed : " + std::to_string(ERROR_FILE_NOT_FOUND)});
    EXPECT_TRUE(labClean()) << describe(lab::snapshot());
}

TEST_F(FaultTest, TheNextConnectStartsAKilledServiceAgain)
{
    const DWORD first = startService();
    ASSERT_TRUE(connect("instant.vpn.lab"));
    ASSERT_TRUE(lockedBy(first));
    killProcess(first);
    if (!waitUntil([] { return runningServiceProcess() == 0; }, milliseconds(5000)))
        GTEST_SKIP() << "the service control manager still reports the killed service running";

    ASSERT_TRUE(connect("instant.vpn.lab"));
    const DWORD second = runningServiceProcess();
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_TRUE(lockedBy(second));
    EXPECT_TRUE(vpnErrorTexts().empty());
    EXPECT_TRUE(containsInOrder(serviceMessages(), {"Service::DoStartSvc", "Service started successfully",
                                                    "Executing command LOCK_DNS_LEAKS...", "Service seply: OK"}));
    EXPECT_TRUE(disconnect());
    EXPECT_TRUE(labClean()) << describe(lab::snapshot());
}

TEST_F(FaultTest, TheServiceCleansUpAfterAHostKilledInTheMiddleOfADial)
{
    startService();
    const std::string childLog = directory.file("child.log");
    const ProcessHandle host(startChild("dialing_host", {childLog}));
    const DWORD hostId = GetProcessId(host.get());
    const auto dialing = [&] {
        const lab::Snapshot state = lab::snapshot();
        return std::any_of(state.connections.begin(), state.connections.end(), [&](const lab::Connection& c) {
            return c.dialerPid == hostId && c.state != RASCS_Connected;
        });
    };
    ASSERT_TRUE(waitUntil(dialing, milliseconds(30000)));
    ASSERT_TRUE(serviceLogged(processLine("Observe client PID ", hostId)));

    TerminateProcess(host.get(), 9);
    ASSERT_EQ(WaitForSingleObject(host.get(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(waitUntil(labClean, milliseconds(15000))) << describe(lab::snapshot());
    EXPECT_TRUE(containsInOrder(serviceMessages(), {"Client process terminated, exit code = 9", "VPN::cleanup",
                                                    "DNS leaks unlocked", "RasHangUp AP 'Zerav VPN' result: 0"}));
    EXPECT_FALSE(logMessages(childLog).empty());
}

// After the entry is deleted by someone else, the host may still hang up, or
// connect again and then hang up.
class EntryRemovedBehindTheLibrary : public RunningService, public testing::WithParamInterface<bool> {};

TEST_P(EntryRemovedBehindTheLibrary, DisconnectStillSucceeds)
{
    const bool connectAgain = GetParam();
    const DWORD service = startService();
    ASSERT_TRUE(connect("instant.vpn.lab"));
    ASSERT_EQ(lab::snapshot().entries.size(), 1u);
    ASSERT_EQ(RasDeleteEntryW(nullptr, L"Zerav VPN"), 0u);
    ASSERT_TRUE(lab::snapshot().entries.empty());

    if (connectAgain) {
        EXPECT_TRUE(connect("instant.vpn.lab"));
        EXPECT_TRUE(lockedBy(service));
    }
    EXPECT_TRUE(disconnect());
    EXPECT_TRUE(vpnErrorTexts().empty());
    EXPECT_TRUE(labClean()) << describe(lab::snapshot());
    const auto host = logMessages(hostLog);
    EXPECT_NE(std::find(host.begin(), host.end(), "Service performs unlock DNS leaks. Result : true"), host.end());
}

INSTANTIATE_TEST_SUITE_P(ThenDisconnectOrConnectAgain, EntryRemovedBehindTheLibrary, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "ConnectAgain" : "Disconnect";
                         });

// A log that cannot be written for a while: records written meanwhile are
// lost without a word, the exports go on, and records land again once the
// file can be written. Each phase writes records of its own text.
struct LogFault {
    const char* name;
    std::function<void(const std::string& path)> breakLog;
    std::function<void(const std::string& path)> repairLog;
};

void PrintTo(const LogFault& fault, std::ostream* out)
{
    *out << fault.name;
}

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

ProcessHandle fileLocker;

const LogFault logFaults[] = {
    {"LockedByAnotherProcess",
     [](const std::string& path) {
         fileLocker.reset(startChild("lock_file", {path}));
         ASSERT_TRUE(waitUntil([&] {
             const FileHandle probe(CreateFileA(path.c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
             return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
         }));
     },
     [](const std::string&) {
         TerminateProcess(fileLocker.get(), 0);
         WaitForSingleObject(fileLocker.get(), 10000);
         fileLocker.reset();
     }},
    {"FolderRemoved",
     [](const std::string& path) {
         ASSERT_TRUE(waitUntil([&] {
             DeleteFileA(path.c_str());
             DeleteFileA((path + ".old").c_str());
             RemoveDirectoryA(folderOf(path).c_str());
             // A record being written keeps the folder until it is done.
             return GetFileAttributesA(folderOf(path).c_str()) == INVALID_FILE_ATTRIBUTES;
         }));
     },
     [](const std::string& path) { ASSERT_TRUE(CreateDirectoryA(folderOf(path).c_str(), nullptr)); }},
};

class LogFaultTest : public testing::TestWithParam<LogFault> {
protected:
    void TearDown() override
    {
        vpnErrorTexts();
        ZeravVPN_initLogging(LogSettings::defaultPath().c_str(), 0, true);
    }

    // Records "Exception: Null pointer passed as user name" (or "password")
    // from several threads at once; every call must still fail cleanly.
    static void writeRecords(bool userName, int perThread)
    {
        std::atomic<int> failed{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < perThread; ++i) {
                    const bool done = userName ? ZeravVPN_setConfig("", nullptr, "", "", "", 0)
                                           : ZeravVPN_setConfig("", "", nullptr, "", "", 0);
                    failed += done ? 0 : 1;
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(failed, 4 * perThread);
    }

    TempDirectory directory;
};

int countOf(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

TEST_P(LogFaultTest, RecordsAreLostSilentlyWhileTheLogCannotBeWrittenAndLandAgainAfterwards)
{
    const LogFault& fault = GetParam();
    const std::string folder = directory.file("logs");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string path = folder + "\\host.log";
    ASSERT_TRUE(ZeravVPN_initLogging(path.c_str(), 0, true));

    // A writer that keeps going through the fault and the repair.
    std::atomic<bool> stop{false};
    std::atomic<int> background{0};
    std::thread writer([&] {
        while (!stop) {
            ZeravVPN_setService(false);
            ++background;
        }
    });
    fault.breakLog(path);
    writeRecords(true, 25);
    fault.repairLog(path);
    writeRecords(false, 25);
    stop = true;
    writer.join();

    // The background writer may fill the file past its limit meanwhile.
    auto lines = logMessages(path + ".old");
    const auto current = logMessages(path);
    lines.insert(lines.end(), current.begin(), current.end());
    EXPECT_EQ(countOf(lines, "Exception: Null pointer passed as user name"), 0);
    EXPECT_EQ(countOf(lines, "Exception: Null pointer passed as password"), 100);
    EXPECT_GT(background, 0);
    EXPECT_EQ(vpnErrorTexts().size(), 200u) << "every failed call still queued its text";
}

INSTANTIATE_TEST_SUITE_P(Faults, LogFaultTest, testing::ValuesIn(logFaults),
                         [](const testing::TestParamInfo<LogFault>& info) { return info.param.name; });

} // namespace
