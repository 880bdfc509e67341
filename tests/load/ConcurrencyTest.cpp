#include "ChildProcess.h"
#include "RawPipeClient.h"
#include "RunningService.h"
#include "ServiceClient.h"
#include "ServicePipe.h"
#include "UniqueHandle.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <thread>

namespace {

using std::chrono::milliseconds;

constexpr int threadsPerHost = 3;
constexpr int roundsPerThread = 2;

// A host whose threads connect and disconnect at once, half of them with
// the service ensured. It writes how many callbacks it got and every error
// text it was given to the result file, and exits with 0 only when every
// operation was answered exactly once.
ZERAV_CHILD_ROLE(busy_host)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    configureHost("Zerav VPN", 5000);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadsPerHost; ++t) {
        threads.emplace_back([t] {
            std::mt19937 random(GetCurrentThreadId());
            std::uniform_int_distribution<int> pause(0, 300);
            for (int round = 0; round < roundsPerThread; ++round) {
                ZeravVPN_connect("instant.vpn.lab", t % 2 == 0, CallbackTally::callback);
                Sleep(pause(random));
                ZeravVPN_disconnect(CallbackTally::callback);
                Sleep(pause(random));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    const size_t wanted = threadsPerHost * roundsPerThread * 2;
    const bool all = CallbackTally::waitFor(wanted, std::chrono::seconds(150));
    Sleep(1000);
    std::ofstream result(args.at(1));
    result << CallbackTally::total() << "\n";
    for (const std::string& text : vpnErrorTexts())
        result << text << "\n";
    return all && CallbackTally::total() == wanted ? 0 : 3;
}

using Concurrency = RunningService;

// The test holds the service's only pipe instance, idle, when the hosts
// start: the service drops it at its time limit, and the hosts' exchanges,
// which wait for a busy pipe, all get through.
TEST_F(Concurrency, TwoHostsWithSeveralThreadsEachGetEveryCallbackPastAnIdleClient)
{
    startService();
    RawPipeClient holder;
    ASSERT_TRUE(holder.connected()) << holder.openError();

    std::vector<std::string> logs;
    std::vector<std::string> results;
    std::vector<ProcessHandle> hosts;
    for (int i = 0; i < 2; ++i) {
        logs.push_back(directory.file("host" + std::to_string(i) + ".log"));
        results.push_back(directory.file("host" + std::to_string(i) + ".txt"));
        hosts.emplace_back(startChild("busy_host", {logs.back(), results.back()}));
    }
    EXPECT_TRUE(waitUntil([&] { return serviceLogged("Client dropped: no exchange finished within 3000 ms"); },
                          milliseconds(30000)))
        << "the idle client was not dropped";

    std::map<std::string, int> texts;
    for (size_t i = 0; i < hosts.size(); ++i) {
        const DWORD waited = WaitForSingleObject(hosts[i].get(), 200000);
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "host " << i << " still runs: a deadlock";
        if (waited != WAIT_OBJECT_0) {
            TerminateProcess(hosts[i].get(), 1);
            continue;
        }
        DWORD exitCode = 0;
        GetExitCodeProcess(hosts[i].get(), &exitCode);
        const auto lines = readLines(results[i]);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(exitCode, 0u) << "host " << i << " got " << lines.front() << " callbacks of "
                                << threadsPerHost * roundsPerThread * 2;
        for (size_t line = 1; line < lines.size(); ++line)
            ++texts[lines[line]];
    }
    std::printf("error texts queued in the hosts:\n");
    for (const auto& [text, count] : texts)
        std::printf("  %3d x %s\n", count, text.c_str());

    // The last host to use the pipe is cleaned up after by the service.
    EXPECT_TRUE(waitUntil(labClean, milliseconds(15000))) << describe(lab::snapshot());
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_TRUE(queryService(status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    RawPipeClient after;
    ASSERT_TRUE(after.connected()) << after.openError();
    ASSERT_TRUE(after.sendCommand(SERVICE_COMMAND_PING));
    EXPECT_EQ(after.receiveReply(), SERVICE_REPLY_OK);
}


// A host that connects and disconnects a few times, each session in turn
// with the other host's (Windows keeps one connection per entry), so that
// one host's commands follow right on the other's while the service's only
// pipe instance is still between clients.
ZERAV_CHILD_ROLE(turn_taking_host)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    configureHost("Zerav VPN", 5000);
    const UniqueHandle<KernelHandleTraits> turn(CreateMutexW(nullptr, FALSE, L"ZeravTestSessionTurn"));
    size_t wanted = 0;
    for (int round = 0; round < 3; ++round) {
        if (WaitForSingleObject(turn.get(), 120000) != WAIT_OBJECT_0)
            return 4;
        ZeravVPN_connect("instant.vpn.lab", true, CallbackTally::callback);
        CallbackTally::waitFor(++wanted, std::chrono::seconds(30));
        ZeravVPN_disconnect(CallbackTally::callback);
        CallbackTally::waitFor(++wanted, std::chrono::seconds(30));
        ReleaseMutex(turn.get());
    }
    return CallbackTally::total() == wanted && CallbackTally::successes() == wanted ? 0 : 3;
}

TEST_F(Concurrency, TwoHostsTakingTurnsGetEveryConnectAndDisconnect)
{
    startService();
    std::vector<ProcessHandle> hosts;
    for (int i = 0; i < 2; ++i)
        hosts.emplace_back(startChild("turn_taking_host", {directory.file("host" + std::to_string(i) + ".log")}));
    for (size_t i = 0; i < hosts.size(); ++i) {
        ASSERT_EQ(WaitForSingleObject(hosts[i].get(), 200000), WAIT_OBJECT_0) << "host " << i << " still runs";
        DWORD exitCode = 0;
        GetExitCodeProcess(hosts[i].get(), &exitCode);
        EXPECT_EQ(exitCode, 0u) << "host " << i << ": 3 is a failed or missing callback";
    }
    EXPECT_TRUE(waitUntil(labClean, milliseconds(15000))) << describe(lab::snapshot());
}

// Back-to-back exchanges from two processes at once: the loser of a race for
// the only instance waits for it instead of failing.
ZERAV_CHILD_ROLE(pinging_host)
{
    (void)args;
    try {
        for (int i = 0; i < 50; ++i) {
            if (sendServiceCommand(SERVICE_COMMAND_PING) != SERVICE_REPLY_OK)
                return 3;
        }
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 3;
    }
    return 0;
}

TEST_F(Concurrency, BackToBackCommandsOfTwoProcessesAllGetThrough)
{
    startService();
    std::vector<ProcessHandle> pingers;
    for (int i = 0; i < 2; ++i)
        pingers.emplace_back(startChild("pinging_host", {}));
    for (size_t i = 0; i < pingers.size(); ++i) {
        ASSERT_EQ(WaitForSingleObject(pingers[i].get(), 120000), WAIT_OBJECT_0) << "pinger " << i << " still runs";
        DWORD exitCode = 0;
        GetExitCodeProcess(pingers[i].get(), &exitCode);
        EXPECT_EQ(exitCode, 0u) << "pinger " << i << " failed an exchange";
    }
}
} // namespace
