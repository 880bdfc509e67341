#include "ChildProcess.h"
#include "LabInspect.h"
#include "CpuLoad.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"
#include "ZeravVPN.h"

#include <gtest/gtest.h>

#include <versionhelpers.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <thread>

namespace {

std::vector<std::string> exportedNames(HMODULE module)
{
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(directory->NumberOfFunctions, directory->NumberOfNames) << "no export by ordinal only";
    return result;
}

std::string nextErrorText()
{
    char buffer[512];
    return ZeravVPN_errorText(buffer, sizeof buffer) ? buffer : "";
}

void drainErrors()
{
    while (!nextErrorText().empty()) {
    }
}

bool contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

class ExportsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ZeravVPN_initLogging(logPath.c_str(), 0, true));
        drainErrors();
    }
    void TearDown() override { drainErrors(); }

    TempDirectory directory;
    std::string logPath = directory.file("vpn.log");
};

TEST(ExportTable, HoldsExactlyTheTwelveUndecoratedNames)
{
    auto names = exportedNames(GetModuleHandleW(L"zerav_VPN.dll"));
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {
        "ZeravVPN_cleanup",   "ZeravVPN_connect",     "ZeravVPN_deinstall",     "ZeravVPN_disconnect",
        "ZeravVPN_errorText", "ZeravVPN_initLogging", "ZeravVPN_install",       "ZeravVPN_lock_DNS_leaks",
        "ZeravVPN_setConfig", "ZeravVPN_setService",  "ZeravVPN_status",        "ZeravVPN_unlock_DNS_leaks"};
    EXPECT_EQ(names, expected);
    static_assert(sizeof(bool) == 1, "exported results are one byte");
}

TEST_F(ExportsTest, QueuedTextsComeBackOldestFirstOnePerCall)
{
    EXPECT_FALSE(ZeravVPN_initLogging(nullptr, 0, true));
    EXPECT_FALSE(ZeravVPN_setConfig("Zerav VPN", nullptr, "", "", "", 0));
    EXPECT_FALSE(ZeravVPN_setConfig("Zerav VPN", "", "", "", nullptr, 0));

    EXPECT_EQ(nextErrorText(), "Null pointer passed as log file path");
    EXPECT_EQ(nextErrorText(), "Null pointer passed as user name");
    EXPECT_EQ(nextErrorText(), "Null pointer passed as service file name");
    char buffer[16] = "untouched";
    EXPECT_FALSE(ZeravVPN_errorText(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "") << "an empty queue hands out the empty text";

    const auto lines = logMessages(logPath);
    EXPECT_TRUE(contains(lines, "Exception: Null pointer passed as user name"));
}

TEST_F(ExportsTest, ErrorTextNeverWritesPastTheBufferAndLosesNothingOnABadCall)
{
    const std::string text = "Null pointer passed as entry name";
    for (size_t size = 0; size <= text.size() + 1; ++size) {
        ASSERT_FALSE(ZeravVPN_setConfig(nullptr, "", "", "", "", 0));
        std::string buffer(size + 8, '#');
        const bool got = ZeravVPN_errorText(size ? buffer.data() : nullptr, size);
        EXPECT_EQ(buffer.substr(size), std::string(8, '#')) << "wrote past a buffer of " << size;
        if (size <= 1) {
            EXPECT_FALSE(got) << size;
            EXPECT_EQ(nextErrorText(), text) << "the text stays queued after a call with room for nothing";
        } else {
            EXPECT_TRUE(got) << size;
            EXPECT_EQ(std::string(buffer.c_str()), text.substr(0, size - 1));
        }
        EXPECT_EQ(nextErrorText(), "") << size;
    }
    EXPECT_FALSE(ZeravVPN_errorText(nullptr, 100));
}

std::vector<std::string> recordsOfThisThread(const std::string& path)
{
    char threadId[9];
    snprintf(threadId, sizeof threadId, "%08lx", GetCurrentThreadId());
    std::vector<std::string> records;
    for (const auto& line : readLines(path))
        if (line.size() > 35 && line.compare(26, 8, threadId) == 0)
            records.push_back(line.substr(35));
    return records;
}

struct TraceCase {
    const char* name;
    std::function<void()> call;
    const char* trace;
};

std::atomic<bool> callbackResult{true};
EventHandle callbackDone(CreateEventW(nullptr, FALSE, FALSE, nullptr));
std::atomic<DWORD> callbackThread{0};

void recordCallback(bool success)
{
    callbackResult = success;
    callbackThread = GetCurrentThreadId();
    SetEvent(callbackDone.get());
}

TEST_F(ExportsTest, EveryExportWritesItsTraceRecordOnEntry)
{
    const TraceCase cases[] = {
        {"setService", [] { ZeravVPN_setService(false); }, "VPN::setService"},
        {"setConfig", [] { ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0); }, "VPN::setConfig"},
        {"deinstall", [] { ZeravVPN_deinstall(); }, "VPN::deinstall"},
        {"unlock", [] { ZeravVPN_unlock_DNS_leaks(); }, "VPN::unlock_DNS_leaks"},
        {"lock", [] { ZeravVPN_lock_DNS_leaks(); }, "VPN::lock_DNS_leaks"},
        {"cleanup", [] { ZeravVPN_cleanup(); }, "VPN::cleanup"},
        {"connect",
         [] {
             ZeravVPN_connect(nullptr, false, recordCallback);
             WaitForSingleObject(callbackDone.get(), 30000);
         },
         "VPN::connect"},
        {"disconnect",
         [] {
             ZeravVPN_disconnect(recordCallback);
             WaitForSingleObject(callbackDone.get(), 30000);
         },
         "VPN::disconnect"},
    };
    // A file of its own for each call; a worker of the call before may still
    // add its last lines, so only this thread's records are looked at.
    for (const auto& c : cases) {
        const std::string path = directory.file(std::string(c.name) + ".log");
        ASSERT_TRUE(ZeravVPN_initLogging(path.c_str(), 0, true));
        c.call();
        const auto lines = recordsOfThisThread(path);
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_EQ(lines.front(), c.trace) << c.name;
    }
    const std::string path = directory.file("status.log");
    ASSERT_TRUE(ZeravVPN_initLogging(path.c_str(), 0, true));
    ZeravVPN_status();
    EXPECT_TRUE(recordsOfThisThread(path).empty()) << "status writes no trace record";
}

TEST_F(ExportsTest, StatusWithoutAConnectionIsFalseWithoutAnError)
{
    EXPECT_FALSE(ZeravVPN_status());
    EXPECT_EQ(nextErrorText(), "");
}

TEST_F(ExportsTest, InitLoggingWritesItsOwnRecordToTheOldFile)
{
    const std::string next = directory.file("next.log");
    ASSERT_TRUE(ZeravVPN_initLogging(next.c_str(), 0, true));
    ZeravVPN_setService(true);
    EXPECT_EQ(logMessages(logPath).back(), "VPN::initLogging");
    EXPECT_FALSE(contains(logMessages(logPath), "VPN::setService"));
    EXPECT_EQ(logMessages(next), std::vector<std::string>{"VPN::setService"});

    const std::string silent = directory.file("silent.log");
    ASSERT_TRUE(ZeravVPN_initLogging(silent.c_str(), 0, false));
    ZeravVPN_setService(false);
    EXPECT_FALSE(fileExists(silent)) << "disabled logging must not create the file";
}

TEST_F(ExportsTest, ConnectAndDisconnectReturnAtOnceAndCallBackOnAnotherThread)
{
    ResetEvent(callbackDone.get());
    callbackThread = 0;
    ZeravVPN_disconnect(recordCallback);
    EXPECT_EQ(callbackThread.load(), 0u) << "the export must not wait for its work";
    ASSERT_EQ(WaitForSingleObject(callbackDone.get(), 30000), WAIT_OBJECT_0);
    EXPECT_NE(callbackThread.load(), GetCurrentThreadId());

    const ULONGLONG start = GetTickCount64();
    ZeravVPN_connect(nullptr, false, recordCallback);
    ASSERT_EQ(WaitForSingleObject(callbackDone.get(), 30000), WAIT_OBJECT_0);
    EXPECT_FALSE(callbackResult.load());
    EXPECT_GE(GetTickCount64() - start, 2000u) << "even a connect that fails at once reports after 2.1 s";
    drainErrors();

    ZeravVPN_connect("vpn.example", false, nullptr);
    EXPECT_EQ(nextErrorText(), "Null pointer passed as result callback");
}

ZERAV_CHILD_ROLE(abandonMutex)
{
    const std::wstring name(args.at(0).begin(), args.at(0).end());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    WaitForSingleObject(mutex, INFINITE);
    ExitProcess(0);
}

TEST_F(ExportsTest, AMutexAbandonedByADeadProcessIsTakenOver)
{
    for (const char* name : {"ZeravVpnMutex", "ZeravVpnErrorListMutex"})
        ASSERT_EQ(runChild("abandonMutex", {name}), 0u);
    ZeravVPN_setService(true);
    EXPECT_TRUE(ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0));
    EXPECT_FALSE(ZeravVPN_initLogging(nullptr, 0, true));
    EXPECT_EQ(nextErrorText(), "Null pointer passed as log file path");
    EXPECT_TRUE(contains(logMessages(logPath), "VPN::setService"));
}

ZERAV_CHILD_ROLE(holdMutex)
{
    const std::wstring name(args.at(0).begin(), args.at(0).end());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    WaitForSingleObject(mutex, INFINITE);
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"ZeravTestMutexHeld");
    SetEvent(held);
    Sleep(INFINITE);
    return 0;
}

// The service's copy of the library must not wait for a host that holds the
// shared mutex while it waits for the service's answer.
TEST_F(ExportsTest, InServiceModeTheLocksNoLongerWaitForOtherProcesses)
{
    ZeravVPN_setService(true);
    const EventHandle held(CreateEventW(nullptr, TRUE, FALSE, L"ZeravTestMutexHeld"));
    const ProcessHandle holder(startChild("holdMutex", {"ZeravVpnMutex"}));
    ASSERT_EQ(WaitForSingleObject(held.get(), 10000), WAIT_OBJECT_0);

    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0));
    EXPECT_FALSE(ZeravVPN_initLogging(nullptr, 0, true));
    EXPECT_EQ(nextErrorText(), "Null pointer passed as log file path");
    EXPECT_LT(GetTickCount64() - start, 5000u);
    TerminateProcess(holder.get(), 0);
}

// Waits for a child with a bound; a child still running then is ended and
// reported as hung.
constexpr DWORD hungChild = 0xFFFFFFFF;

DWORD exitCodeWithin(const ProcessHandle& child, DWORD milliseconds)
{
    if (WaitForSingleObject(child.get(), milliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(child.get(), 1);
        WaitForSingleObject(child.get(), 10000);
        return hungChild;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    return exitCode;
}

ZERAV_CHILD_ROLE(logThenExitProcess)
{
    if (!ZeravVPN_initLogging(args.at(0).c_str(), 0, true))
        return 2;
    for (int i = 0; i < 4; ++i)
        std::thread([] {
            for (;;)
                ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0);
        }).detach();
    Sleep(50);
    ExitProcess(0);
}

// ExitProcess ends the other threads wherever they stand, one of them maybe
// while it has the log's writers' turn; the records written while the
// library unloads must not wait for it, and the process must end.
TEST_F(ExportsTest, AProcessThatExitsWhileItsThreadsLogAlwaysEnds)
{
    int hung = 0;
    for (int run = 0; run < 12; ++run) {
        const ProcessHandle child(startChild("logThenExitProcess", {logPath}));
        const DWORD exitCode = exitCodeWithin(child, 20000);
        hung += exitCode == hungChild;
        EXPECT_TRUE(exitCode == 0 || exitCode == hungChild) << "exit code " << exitCode;
    }
    EXPECT_EQ(hung, 0) << "of 12 processes";
}

std::atomic<int> unloadCallbacks{0};

void countUnloadCallback(bool)
{
    ++unloadCallbacks;
}

// A host that unloads the library as soon as its call has returned: the
// worker still runs and logs after the callback, so the library must stay
// mapped until the worker has ended, and go once it has.
ZERAV_CHILD_ROLE(unloadWhileWorking)
{
    const HMODULE library = LoadLibraryA(args.at(0).c_str());
    if (!library)
        return 2;
    const auto initLogging = reinterpret_cast<decltype(&ZeravVPN_initLogging)>(
        reinterpret_cast<void*>(GetProcAddress(library, "ZeravVPN_initLogging")));
    const auto connect = reinterpret_cast<decltype(&ZeravVPN_connect)>(
        reinterpret_cast<void*>(GetProcAddress(library, "ZeravVPN_connect")));
    const auto disconnect = reinterpret_cast<decltype(&ZeravVPN_disconnect)>(
        reinterpret_cast<void*>(GetProcAddress(library, "ZeravVPN_disconnect")));
    initLogging(args.at(1).c_str(), 0, true);
    if (args.at(2) == "connect")
        connect("instant.vpn.lab", false, countUnloadCallback);
    else
        disconnect(countUnloadCallback);
    FreeLibrary(library);
    for (int waited = 0; unloadCallbacks == 0 && waited < 30000; waited += 10)
        Sleep(10);
    if (unloadCallbacks != 1)
        return 3;
    const std::string name = args.at(0).substr(args.at(0).find_last_of('\\') + 1);
    for (int waited = 0; GetModuleHandleA(name.c_str()) && waited < 10000; waited += 10)
        Sleep(10);
    return GetModuleHandleA(name.c_str()) ? 4 : 0;
}

std::string libraryCopy(const TempDirectory& directory)
{
    char library[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleW(L"zerav_VPN.dll"), library, MAX_PATH);
    const std::string copy = directory.file("zerav_VPN_unloaded.dll");
    EXPECT_TRUE(CopyFileA(library, copy.c_str(), FALSE));
    return copy;
}

TEST_F(ExportsTest, AHostMayUnloadTheLibraryWhileAWorkerRuns)
{
    // A copy, because this program holds the library itself for good.
    const std::string copy = libraryCopy(directory);
    for (const char* work : {"connect", "disconnect"}) {
        const ProcessHandle child(startChild("unloadWhileWorking", {copy, logPath, work}));
        EXPECT_EQ(exitCodeWithin(child, 60000), 0u)
            << work << ": 3 is a lost callback, 4 a library never unloaded, anything else a crash";
    }
    EXPECT_TRUE(contains(logMessages(logPath), "Async disconnect() done"));
}

std::atomic<int> failedDisconnects{0};

void countFailedDisconnect(bool success)
{
    if (!success)
        ++failedDisconnects;
}

// Every worker here fails by an exception (no service answers on the pipe),
// one after another on a loaded machine, each started as soon as the one
// before has called back: each must call back.
TEST_F(ExportsTest, HundredsOfFailingWorkersInARowUnderLoadAllCallBack)
{
    constexpr int workers = 500;
    failedDisconnects = 0;
    int started = 0;
    {
        const CpuLoad load;
        for (bool lost = false; started < workers && !lost; ++started) {
            ZeravVPN_disconnect(countFailedDisconnect);
            for (int waited = 0; failedDisconnects <= started && waited < 10000; waited += 1)
                Sleep(1);
            lost = failedDisconnects <= started;
        }
    }
    EXPECT_EQ(failedDisconnects.load(), workers) << "callbacks of " << started << " workers started";
}


std::atomic<int> windows8Callbacks{0};

void countWindows8Callback(bool)
{
    ++windows8Callbacks;
}

// This program declares no Windows version in a manifest, so Windows (and
// Wine) tell it it runs on Windows 8, where the dialer takes the structure
// without its last member.
TEST_F(ExportsTest, AHostToldWindows8DialsWithTheWindows8Size)
{
    ASSERT_FALSE(IsWindows8Point1OrGreater()) << "this program must be told Windows 8";
    lab::reset();
    ASSERT_TRUE(ZeravVPN_setConfig("Zerav VPN", "labuser", "labpass", "", "", 5000));
    ZeravVPN_connect("instant.vpn.lab", false, countWindows8Callback);
    for (int waited = 0; windows8Callbacks == 0 && waited < 30000; waited += 10)
        Sleep(10);
    const lab::Snapshot lab = lab::snapshot();
    ASSERT_EQ(lab.dials.size(), 1u) << nextErrorText();
    EXPECT_EQ(lab.dials[0].paramsSize, 2112u);
    EXPECT_EQ(lab.dials[0].result, 0u);
    ZeravVPN_cleanup();
    lab::reset();
}
} // namespace
