#include "PipeServerFixture.h"
#include "RawPipeClient.h"
#include "ServicePipe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a connection may go without a finished exchange, and how far the
// server may miss that mark.
constexpr milliseconds exchangeLimit(3000);
constexpr milliseconds slack(1500);

const std::string droppedLine = "Client dropped: no exchange finished within 3000 ms";

// A client that connects, sends these commands without reading a reply and
// then does nothing.
struct QuietCase {
    const char* name;
    std::vector<std::int32_t> commands;
};

class QuietClients : public PipeServerFixture, public testing::WithParamInterface<QuietCase> {
protected:
    void goQuiet(RawPipeClient& client)
    {
        ASSERT_TRUE(client.connected()) << client.openError();
        for (const std::int32_t command : GetParam().commands)
            ASSERT_TRUE(client.sendCommand(command));
    }
};

TEST_P(QuietClients, AreDroppedAtTheLimitAndTheNextClientIsServed)
{
    startServer();
    RawPipeClient quiet;
    const auto connected = Clock::now();
    goQuiet(quiet);

    EXPECT_EQ(pingWhenListening(), SERVICE_REPLY_OK);
    const auto waited = Clock::now() - connected;
    EXPECT_GE(waited, exchangeLimit - milliseconds(100));
    EXPECT_LE(waited, exchangeLimit + slack);
    EXPECT_TRUE(logged(droppedLine));
    EXPECT_EQ(quiet.receiveReply(), std::nullopt) << "unread replies go with the connection";
}

TEST_P(QuietClients, DoNotDelayAStop)
{
    startServer();
    RawPipeClient quiet;
    goQuiet(quiet);
    ASSERT_TRUE(waitUntil([&] { return countOf("Reply sent") == static_cast<int>(GetParam().commands.size()); }));

    const auto asked = Clock::now();
    stopServer();
    EXPECT_LT(Clock::now() - asked, milliseconds(1000));
    EXPECT_EQ(messages().back(), "Server stopped");
    EXPECT_EQ(cleanups, 1);
    EXPECT_FALSE(logged(droppedLine));
}

INSTANTIATE_TEST_SUITE_P(
    EveryQuiet, QuietClients,
    testing::Values(QuietCase{"SendsNothing", {}}, QuietCase{"LeavesItsReplyUnread", {SERVICE_COMMAND_PING}},
                    QuietCase{"LeavesTwoRepliesUnread", {SERVICE_COMMAND_PING, SERVICE_COMMAND_PING}}),
    [](const testing::TestParamInfo<QuietCase>& info) { return info.param.name; });

using ExchangeLimitTest = PipeServerFixture;

// The limit counts from the last reply, so a client that keeps talking keeps
// its connection.
TEST_F(ExchangeLimitTest, RestartsWithEveryReply)
{
    startServer();
    RawPipeClient client;
    ASSERT_TRUE(client.connected());
    const auto end = Clock::now() + exchangeLimit + slack;
    int answered = 0;
    while (Clock::now() < end) {
        ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_PING));
        ASSERT_EQ(client.receiveReply(), SERVICE_REPLY_OK) << "after " << answered << " replies";
        ++answered;
        Sleep(static_cast<DWORD>(exchangeLimit.count() / 2));
    }
    EXPECT_FALSE(logged(droppedLine));
}

} // namespace
