#pragma once

#include "LibraryCalls.h"
#include "PipeServer.h"
#include "ServicePipe.h"
#include "ServiceLog.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
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
    // Serves with a server the test has already started.
    void serve(PipeServer& server);
    // Sets the terminate event and waits for the server to return.
    void stopServer();

    LibraryCalls countingLibrary();

    // A PING from this process once the server listens again: the server
    // hears of a closed connection only when its read fails, and until it
    // listens again the pipe is busy (the library's client does not wait).
    ServiceReply pingWhenListening();

    std::vector<LogEntry> entries() const { return readLogEntries(logPath); }
    std::vector<std::string> messages() const { return messagesOf(entries()); }
    bool logged(const std::string& message) const;
    bool waitForLine(const std::string& message) const;
    int countOf(const std::string& message) const;

    TempDirectory directory;
    std::string logPath = directory.file("service.log");
    EventHandle terminate;
    std::thread serverThread;

    std::atomic<bool> lockResult{true};
    std::atomic<bool> unlockResult{true};
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
    std::atomic<int> cleanups{0};
};

std::string ownProcessId();
