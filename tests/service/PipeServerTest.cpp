#include "ChildProcess.h"
#include "PipeServerFixture.h"
#include "RawPipeClient.h"
#include "ServiceClient.h"
#include "ServicePipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <stdexcept>

namespace {

// A host that asks once and goes on running until the test ends it.
ZERAV_CHILD_ROLE(ping_and_wait)
{
    static_cast<void>(args);
    if (sendPipeCommand(SERVICE_COMMAND_PING) != SERVICE_REPLY_OK)
        return 100;
    Sleep(INFINITE);
    return 0;
}

// A host that asks once and exits with the code it is given.
ZERAV_CHILD_ROLE(ping_and_exit)
{
    if (sendPipeCommand(SERVICE_COMMAND_PING) != SERVICE_REPLY_OK)
        return 100;
    return std::stoi(args.at(0));
}

std::string observeLine(unsigned long processId)
{
    return "Observe client PID " + std::to_string(processId);
}

struct ReplyCase {
    std::int32_t command;
    bool libraryResult;
    ServiceReply reply;
    const char* commandName;
    const char* replyName;
    int locks;
    int unlocks;
    bool observed;
};

class PipeServerReplies : public PipeServerFixture, public testing::WithParamInterface<ReplyCase> {};

TEST_P(PipeServerReplies, AnswersEachCommandAndLogsTheExchange)
{
    const ReplyCase& c = GetParam();
    lockResult = c.libraryResult;
    unlockResult = c.libraryResult;
    startServer();

    EXPECT_EQ(sendPipeCommand(static_cast<ServiceCommand>(c.command)), c.reply);
    ASSERT_TRUE(waitForLine("Reply sent"));
    EXPECT_TRUE(containsInOrder(messages(), {"Command received",
                                             std::string("Executing command ") + c.commandName + "...",
                                             std::string("Service seply: ") + c.replyName, "Reply sent"}));
    // Only a command the server knows makes its sender a client to watch.
    EXPECT_EQ(containsInOrder(messages(), {"Command received", observeLine(GetCurrentProcessId()), "Reply sent"}),
              c.observed);
    for (const LogEntry& entry : entries()) {
        const bool traced = entry.message == "Command received" || entry.message == "Reply sent";
        const bool reported = entry.message.rfind("Executing command ", 0) == 0 ||
                              entry.message.rfind("Service seply: ", 0) == 0;
        if (traced || reported) {
            EXPECT_EQ(entry.level, traced ? 'T' : 'I') << entry.message;
        }
    }
    EXPECT_EQ(locks, c.locks);
    EXPECT_EQ(unlocks, c.unlocks);
    EXPECT_EQ(cleanups, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, PipeServerReplies,
    testing::Values(ReplyCase{SERVICE_COMMAND_PING, false, SERVICE_REPLY_OK, "PING", "OK", 0, 0, true},
                    ReplyCase{SERVICE_COMMAND_LOCK_DNS_LEAKS, true, SERVICE_REPLY_OK, "LOCK_DNS_LEAKS", "OK", 1, 0, true},
                    ReplyCase{SERVICE_COMMAND_LOCK_DNS_LEAKS, false, SERVICE_REPLY_FAIL, "LOCK_DNS_LEAKS", "FAIL", 1, 0,
                              true},
                    ReplyCase{SERVICE_COMMAND_UNLOCK_DNS_LEAKS, true, SERVICE_REPLY_OK, "UNLOCK_DNS_LEAKS", "OK", 0, 1,
                              true},
                    ReplyCase{SERVICE_COMMAND_UNLOCK_DNS_LEAKS, false, SERVICE_REPLY_FAIL, "UNLOCK_DNS_LEAKS", "FAIL", 0,
                              1, true},
                    ReplyCase{0, true, SERVICE_REPLY_UNKNOWN_COMMAND, "ZERO", "UNKNOWN_COMMAND", 0, 0, false},
                    ReplyCase{7, true, SERVICE_REPLY_UNKNOWN_COMMAND, "?", "UNKNOWN_COMMAND", 0, 0, false}),
    [](const testing::TestParamInfo<ReplyCase>& info) {
        return "Command" + std::to_string(info.param.command) + "_" + info.param.replyName;
    });

using PipeServerTest = PipeServerFixture;

class ShortMessages : public PipeServerFixture, public testing::WithParamInterface<int> {};

TEST_P(ShortMessages, AreAnsweredAsUnknownAndExecuteNothing)
{
    startServer();
    RawPipeClient client;
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(std::string(GetParam(), '\x02')));
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_UNKNOWN_COMMAND);

    const auto all = entries();
    EXPECT_TRUE(containsInOrder(messagesOf(all), {"Command received", "Invalid command size"}));
    for (const LogEntry& entry : all) {
        if (entry.message == "Invalid command size") {
            EXPECT_EQ(entry.level, 'E');
        }
        EXPECT_EQ(entry.message.rfind("Executing command", 0), std::string::npos) << entry.message;
    }
    EXPECT_EQ(locks + unlocks + cleanups, 0);

    ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_PING));
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_OK);
}

INSTANTIATE_TEST_SUITE_P(OneToThreeBytes, ShortMessages, testing::Values(1, 2, 3));

class LongMessages : public PipeServerFixture, public testing::WithParamInterface<int> {};

TEST_P(LongMessages, CostTheConnectionAndExecuteNothing)
{
    startServer();
    {
        RawPipeClient client;
        ASSERT_TRUE(client.connected());
        client.send(std::string(GetParam(), '\x02'));
        EXPECT_EQ(client.receiveReply(), std::nullopt);
    }
    EXPECT_FALSE(logged("Command received"));
    EXPECT_EQ(locks + unlocks + cleanups, 0);

    EXPECT_EQ(pingWhenListening(), SERVICE_REPLY_OK);
}

INSTANTIATE_TEST_SUITE_P(MoreThanFourBytes, LongMessages, testing::Values(5, 8));

TEST_F(PipeServerTest, AnswersTwoCommandsOnOneConnectionInOrder)
{
    startServer();
    RawPipeClient client;
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_LOCK_DNS_LEAKS));
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_OK);
    unlockResult = false;
    ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_UNLOCK_DNS_LEAKS));
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_FAIL);

    EXPECT_TRUE(containsInOrder(messages(), {"Executing command LOCK_DNS_LEAKS...", "Service seply: OK",
                                             "Executing command UNLOCK_DNS_LEAKS...", "Service seply: FAIL"}));
    EXPECT_EQ(countOf(observeLine(GetCurrentProcessId())), 1);
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(unlocks, 1);
}

TEST_F(PipeServerTest, ServesAClientThatConnectedBeforeTheServerListened)
{
    ASSERT_TRUE(createServer().start());
    RawPipeClient client;
    ASSERT_TRUE(client.connected()) << client.openError();
    ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_PING));

    serve();
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_OK);
    EXPECT_TRUE(containsInOrder(messages(), {"Named pipe server started", "Client connected", "Command received",
                                             "Executing command PING...", observeLine(GetCurrentProcessId())}));
    EXPECT_FALSE(logged("ConnectNamedPipe() fault: "));
}

// The pipe keeps the end of a client that has gone, so the server's connect
// fails; it pauses, drops that end and listens again.
TEST_F(PipeServerTest, ListensAgainAfterAClientCameAndWentBeforeTheServerListened)
{
    ASSERT_TRUE(createServer().start());
    RawPipeClient().close();
    serve();

    EXPECT_EQ(pingWhenListening(), SERVICE_REPLY_OK);
    const auto all = messages();
    const auto fault = std::find_if(all.begin(), all.end(), [](const std::string& line) {
        return line.rfind("ConnectNamedPipe() fault: ", 0) == 0;
    });
    ASSERT_NE(fault, all.end());
    EXPECT_TRUE(containsInOrder(std::vector<std::string>(fault, all.end()),
                                {"Listening again in 50 ms", "Client connected", "Executing command PING..."}));
}

TEST_F(PipeServerTest, CleansUpOnceWhenTheClientProcessEndsBetweenConnections)
{
    startServer();
    const ProcessHandle host(startChild("ping_and_exit", {"7"}));
    ASSERT_EQ(WaitForSingleObject(host.get(), 15000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(host.get(), &exitCode);
    ASSERT_EQ(exitCode, 7u);

    ASSERT_TRUE(waitForLine("Client process terminated, exit code = 7"));
    EXPECT_TRUE(containsInOrder(messages(), {"Service seply: OK", observeLine(GetProcessId(host.get())),
                                             "Client process terminated, exit code = 7"}));
    EXPECT_EQ(cleanups, 1);

    // Without a process to watch the server goes on serving, and the ended
    // process is not cleaned up after a second time.
    EXPECT_EQ(pingWhenListening(), SERVICE_REPLY_OK);
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(countOf("Client process terminated, exit code = 7"), 1);
}

TEST_F(PipeServerTest, WatchesOnlyTheLatestClientProcess)
{
    startServer();
    const ProcessHandle first(startChild("ping_and_wait"));
    ASSERT_TRUE(waitForLine(observeLine(GetProcessId(first.get()))));
    ASSERT_TRUE(waitUntil([&] { return countOf("Reply sent") == 1; }));
    const ProcessHandle second(startChild("ping_and_wait"));
    ASSERT_TRUE(waitForLine(observeLine(GetProcessId(second.get()))));

    TerminateProcess(first.get(), 3);
    ASSERT_EQ(WaitForSingleObject(first.get(), 15000), WAIT_OBJECT_0);
    TerminateProcess(second.get(), 4);
    ASSERT_EQ(WaitForSingleObject(second.get(), 15000), WAIT_OBJECT_0);

    ASSERT_TRUE(waitForLine("Client process terminated, exit code = 4"));
    EXPECT_FALSE(logged("Client process terminated, exit code = 3"));
    EXPECT_EQ(cleanups, 1);
}

TEST_F(PipeServerTest, TerminateCancelsAPendingReadAndCleansUp)
{
    startServer();
    RawPipeClient client;
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(waitForLine("Client connected"));

    stopServer();
    EXPECT_EQ(client.receiveReply(), std::nullopt);
    EXPECT_NE(client.lastError(), 0u);
    const auto all = messages();
    EXPECT_TRUE(containsInOrder(all, {"'Terminate' event found", "Server stopped"}));
    EXPECT_EQ(all.back(), "Server stopped");
    EXPECT_FALSE(logged("Command received"));
    EXPECT_EQ(cleanups, 1);
}

TEST_F(PipeServerTest, TerminateCleansUpEvenWithoutAnyClient)
{
    startServer();
    stopServer();
    EXPECT_EQ(messages().back(), "Server stopped");
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(locks + unlocks, 0);
}

// The only instance the name allows is someone else's, so the server cannot
// create its own and says so to the service, which reports the failure.
TEST_F(PipeServerTest, TellsTheServiceItCouldNotStartWhenThePipeNameIsTaken)
{
    const PipeHandle squatter(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 4, 4, 0,
                                               nullptr));
    ASSERT_TRUE(squatter.valid()) << GetLastError();
    EXPECT_EQ(runPipeServer(terminate.get(), countingLibrary()), ServiceExit::NotStarted);
    const auto all = messages();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().rfind("CreateNamedPipe() failed: ", 0), 0u) << all.back();
    EXPECT_FALSE(logged("Named pipe server started"));
    EXPECT_EQ(cleanups, 0);
}

TEST_F(PipeServerTest, TellsTheServiceItStoppedOnRequest)
{
    std::promise<ServiceExit> exit;
    serverThread = std::thread([&] { exit.set_value(runPipeServer(terminate.get(), countingLibrary())); });
    ASSERT_TRUE(waitForLine("Named pipe server started"));
    stopServer();
    EXPECT_EQ(exit.get_future().get(), ServiceExit::Requested);
}

TEST_F(PipeServerTest, LogsTheStartAndStopOfTheServerAtInfo)
{
    startServer();
    stopServer();
    const std::vector<std::string> lifecycle = {"Starting named pipe server ...", "Named pipe server started",
                                                "'Terminate' event found", "Server stopped"};
    EXPECT_EQ(messages(), lifecycle);
    for (const LogEntry& entry : entries())
        EXPECT_EQ(entry.level, 'I') << entry.message;
}

} // namespace
