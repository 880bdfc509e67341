#include "PipeServerFixture.h"

#include "LogSettings.h"
#include "ServiceClient.h"

#include <algorithm>

void PipeServerFixture::SetUp()
{
    LogSettings::replace(logPath, 0, true);
    terminate.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(terminate.valid());
}

void PipeServerFixture::TearDown()
{
    stopServer();
    LogSettings::replace(LogSettings::defaultPath(), 0, true);
}

void PipeServerFixture::startServer()
{
    serverThread = std::thread([this] { runPipeServer(terminate.get(), countingLibrary()); });
    ASSERT_TRUE(waitForLine("Named pipe server started"));
}

PipeServer& PipeServerFixture::createServer()
{
    server = std::make_unique<PipeServer>(terminate.get(), countingLibrary());
    return *server;
}

void PipeServerFixture::serve()
{
    serverThread = std::thread([this] { server->serve(); });
}

void PipeServerFixture::stopServer()
{
    if (!serverThread.joinable())
        return;
    SetEvent(terminate.get());
    serverThread.join();
}

LibraryCalls PipeServerFixture::countingLibrary()
{
    return LibraryCalls{
        [this] {
            ++locks;
            return lockResult.load();
        },
        [this] {
            ++unlocks;
            return unlockResult.load();
        },
        [this] { ++cleanups; },
    };
}

ServiceReply PipeServerFixture::sendWhenListening(ServiceCommand command)
{
    EXPECT_TRUE(WaitNamedPipeW(servicePipeName, 5000)) << GetLastError();
    return sendPipeCommand(command);
}

bool PipeServerFixture::logged(const std::string& message) const
{
    return countOf(message) > 0;
}

bool PipeServerFixture::waitForLine(const std::string& message) const
{
    return waitUntil([&] { return logged(message); });
}

int PipeServerFixture::countOf(const std::string& message) const
{
    const auto all = messages();
    return static_cast<int>(std::count(all.begin(), all.end(), message));
}

std::string ownProcessId()
{
    return std::to_string(GetCurrentProcessId());
}
