#include "ChildProcess.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"
#include "ZeravVPN.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>

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

} // namespace
