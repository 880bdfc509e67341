#pragma once

#include "LibraryCalls.h"
#include "PipeServer.h"
#include "ServicePipe.h"
#include "ServiceLog.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

// A pipe server on a thread of this test program, with library calls that
// only count and answer as told, and a log file of its own.
class PipeServerFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the whole server and returns once it listens.
    void startServer();
    // A server for the test to start itself. The fixture keeps it until its
    // thread has stopped: the thread serves with it to the end.
    PipeServer& createServer();
    // Serves with that server, once the test has started it.
    void serve();
    // Sets the terminate event and waits for the server to return.
    void stopServer();

    LibraryCalls countingLibrary();

    // A command from this process once the server listens again: the server
    // hears of a closed connection only when its read fails, and until it
    // listens again the pipe is busy (the library's client does not wait).
    ServiceReply sendWhenListening(ServiceCommand command);
    ServiceReply pingWhenListening() { return sendWhenListening(SERVICE_COMMAND_PING); }

    std::vector<LogEntry> entries() const { return readLogEntries(logPath); }
    std::vector<std::string> messages() const { return messagesOf(entries()); }
    bool logged(const std::string& message) const;
    bool waitForLine(const std::string& message) const;
    int countOf(const std::string& message) const;

    TempDirectory directory;
    std::string logPath = directory.file("service.log");
    EventHandle terminate;
    std::unique_ptr<PipeServer> server;
    std::thread serverThread;

    std::atomic<bool> lockResult{true};
    std::atomic<bool> unlockResult{true};
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
    std::atomic<int> cleanups{0};
};

std::string ownProcessId();
