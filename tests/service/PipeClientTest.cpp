#include "PipeServerFixture.h"
#include "RawPipeClient.h"
#include "ServiceClient.h"
#include "ServicePipe.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <thread>

namespace {

// What sendPipeCommand raised, or "" when it returned.
std::string clientError(ServiceCommand command)
{
    try {
        sendPipeCommand(command);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

using PipeClientTest = PipeServerFixture;

TEST_F(PipeClientTest, FailsAtOnceWhenNoServiceListens)
{
    EXPECT_EQ(clientError(SERVICE_COMMAND_PING), "CreateFile(): named pipe failed : 2");
}

TEST_F(PipeClientTest, FailsWhenAnotherClientHoldsTheOnlyInstance)
{
    startServer();
    RawPipeClient holder;
    ASSERT_TRUE(holder.connected());
    EXPECT_EQ(clientError(SERVICE_COMMAND_PING), "CreateFile(): named pipe failed : " + std::to_string(ERROR_PIPE_BUSY));
    EXPECT_EQ(locks + unlocks, 0);
}

TEST_F(PipeClientTest, TwoCommandsInARowUseTwoConnections)
{
    startServer();
    EXPECT_EQ(sendPipeCommand(SERVICE_COMMAND_LOCK_DNS_LEAKS), SERVICE_REPLY_OK);
    ASSERT_TRUE(WaitNamedPipeW(servicePipeName, 5000));
    EXPECT_EQ(sendPipeCommand(SERVICE_COMMAND_UNLOCK_DNS_LEAKS), SERVICE_REPLY_OK);
    // Watched from its LOCK on, as the holder and then as the last client.
    EXPECT_EQ(countOf("Observe client PID " + ownProcessId()), 1);
    EXPECT_EQ(locks, 1);
    EXPECT_EQ(unlocks, 1);
}

// A server end of the test's own that reads the command and answers as told.
class FakeService {
public:
    explicit FakeService(std::string answer)
        : pipe_(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4, 4,
                                 0, nullptr))
        , thread_([this, answer] { serveOnce(answer); })
    {
    }
    ~FakeService() { thread_.join(); }

private:
    void serveOnce(const std::string& answer)
    {
        ConnectNamedPipe(pipe_.get(), nullptr);
        std::int32_t command = 0;
        DWORD bytes = 0;
        ReadFile(pipe_.get(), &command, sizeof command, &bytes, nullptr);
        if (!answer.empty())
            WriteFile(pipe_.get(), answer.data(), static_cast<DWORD>(answer.size()), &bytes, nullptr);
        FlushFileBuffers(pipe_.get());
        DisconnectNamedPipe(pipe_.get());
    }

    PipeHandle pipe_;
    std::thread thread_;
};

TEST(PipeClientErrors, ADroppedConnectionFailsTheReadWithItsCode)
{
    std::string error;
    {
        FakeService service("");
        error = clientError(SERVICE_COMMAND_PING);
    }
    std::smatch match;
    ASSERT_TRUE(std::regex_match(error, match, std::regex(R"(ReadFile\(\): named pipe failed ([1-9][0-9]*))"))) << error;
}

TEST(PipeClientErrors, AShortReplyFailsTheRead)
{
    std::string error;
    {
        FakeService service(std::string("\x01\x00", 2));
        error = clientError(SERVICE_COMMAND_PING);
    }
    EXPECT_EQ(error, "ReadFile(): named pipe failed");
}

} // namespace
