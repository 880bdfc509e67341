#include "PipeServerFixture.h"
#include "PipeVisitor.h"
#include "ServicePipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Long enough for the server to notice a watched process's end, which it
// does at once.
constexpr milliseconds quietPeriod(500);

std::string observeLine(unsigned long processId)
{
    return "Observe client PID " + std::to_string(processId);
}

std::string terminatedLine(unsigned long exitCode)
{
    return "Client process terminated, exit code = " + std::to_string(exitCode);
}

class ClientWatchTest : public PipeServerFixture {
protected:
    // A child that locks through the server and stays, once it holds the lock.
    PipeVisitor startHolder()
    {
        const int before = locks;
        PipeVisitor holder({"lock", "stay"});
        EXPECT_TRUE(waitUntil([&] { return locks == before + 1 && countOf("Reply sent") > before; }));
        return holder;
    }

    int terminations() const
    {
        const auto all = messages();
        return static_cast<int>(std::count_if(all.begin(), all.end(), [](const std::string& line) {
            return line.rfind("Client process terminated", 0) == 0;
        }));
    }

    bool cleanedUpWithin(milliseconds limit) const
    {
        return waitUntil([&] { return cleanups > 0; }, limit);
    }

    // The server logs the end of a process before it cleans up after it.
    bool cleanedUpOnceAfter(unsigned long exitCode) const
    {
        return cleanedUpWithin(milliseconds(15000)) && cleanups == 1 && logged(terminatedLine(exitCode));
    }
};

// Another process's visit, and what it hears with and without a lock held.
struct VisitCase {
    const char* name;
    const char* step;
    unsigned long replyWhileLocked;
    unsigned long replyWithoutLock;
    bool validCommand;
};

class Visitors : public ClientWatchTest, public testing::WithParamInterface<VisitCase> {};

TEST_P(Visitors, NeitherEndNorTakeOverTheLockOfAnotherProcess)
{
    const VisitCase& c = GetParam();
    startServer();
    const PipeVisitor holder = startHolder();

    const PipeVisitor visitor({c.step});
    EXPECT_EQ(visitor.exitCode(), c.replyWhileLocked);
    EXPECT_FALSE(cleanedUpWithin(quietPeriod)) << "the visitor's end cleaned up";
    EXPECT_FALSE(logged(observeLine(visitor.id())));
    EXPECT_EQ(unlocks, 0);

    holder.kill(9);
    EXPECT_TRUE(cleanedUpOnceAfter(9));
    EXPECT_EQ(terminations(), 1);
    EXPECT_EQ(locks, 1);
}

// Without a lock, a process is watched once it has sent a valid command, as
// a host killed between its PING and its LOCK must be cleaned up after.
TEST_P(Visitors, AreWatchedWithoutALockOnlyOnceTheySentAValidCommand)
{
    const VisitCase& c = GetParam();
    startServer();
    const PipeVisitor visitor({c.step});
    const unsigned long exitCode = visitor.exitCode();
    EXPECT_EQ(exitCode, c.replyWithoutLock);

    EXPECT_EQ(cleanedUpWithin(quietPeriod), c.validCommand);
    EXPECT_EQ(logged(observeLine(visitor.id())), c.validCommand);
    EXPECT_EQ(logged(terminatedLine(exitCode)), c.validCommand);
    EXPECT_EQ(locks, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryVisit, Visitors,
    testing::Values(VisitCase{"Leaves", "leave", 0, 0, false},
                    VisitCase{"Pings", "ping", SERVICE_REPLY_OK, SERVICE_REPLY_OK, true},
                    VisitCase{"SendsAShortMessage", "short", SERVICE_REPLY_UNKNOWN_COMMAND, SERVICE_REPLY_UNKNOWN_COMMAND,
                              false},
                    VisitCase{"SendsAnUnknownCommand", "unknown", SERVICE_REPLY_UNKNOWN_COMMAND,
                              SERVICE_REPLY_UNKNOWN_COMMAND, false},
                    VisitCase{"Unlocks", "unlock", SERVICE_REPLY_FAIL, SERVICE_REPLY_OK, true}),
    [](const testing::TestParamInfo<VisitCase>& info) { return info.param.name; });

TEST_F(ClientWatchTest, AHostKilledBetweenItsPingAndItsLockIsCleanedUpAfter)
{
    startServer();
    const PipeVisitor host({"ping", "stay"});
    ASSERT_TRUE(waitForLine(observeLine(host.id())));

    host.kill(9);
    EXPECT_TRUE(cleanedUpOnceAfter(9));
    EXPECT_EQ(locks + unlocks, 0);
}

// Two hosts lock one after the other; the lock ends only with the unlock of
// the last, and then its sender is watched as any last client is.
TEST_F(ClientWatchTest, OnlyTheUnlockOfTheLastHolderUnlocks)
{
    startServer();
    const std::string goName = "zerav-unlock-" + ownProcessId();
    const EventHandle go(CreateEventA(nullptr, TRUE, FALSE, goName.c_str()));
    ASSERT_TRUE(go.valid());
    const PipeVisitor other({"lock", "await=" + goName, "unlock"});
    ASSERT_TRUE(waitUntil([&] { return locks == 1 && logged("Reply sent"); }));

    EXPECT_EQ(sendWhenListening(SERVICE_COMMAND_LOCK_DNS_LEAKS), SERVICE_REPLY_OK);
    EXPECT_EQ(locks, 2);
    EXPECT_EQ(sendWhenListening(SERVICE_COMMAND_UNLOCK_DNS_LEAKS), SERVICE_REPLY_OK);
    EXPECT_EQ(unlocks, 0) << "unlocked while another process holds the lock";

    SetEvent(go.get());
    EXPECT_EQ(other.exitCode(), static_cast<unsigned long>(SERVICE_REPLY_OK));
    EXPECT_EQ(unlocks, 1);
    EXPECT_TRUE(cleanedUpOnceAfter(SERVICE_REPLY_OK));
}

TEST_F(ClientWatchTest, OnlyTheEndOfTheLastHolderCleansUp)
{
    startServer();
    const PipeVisitor first = startHolder();
    const PipeVisitor second = startHolder();

    first.kill(3);
    ASSERT_TRUE(waitForLine(terminatedLine(3)));
    EXPECT_FALSE(cleanedUpWithin(quietPeriod));

    second.kill(4);
    EXPECT_TRUE(cleanedUpOnceAfter(4));
    EXPECT_EQ(unlocks, 0);
}

// Each holder costs the service a process handle, so a client that starts
// processes without end cannot make it hold more than a few.
TEST_F(ClientWatchTest, RefusesTheLockToMoreHoldersThanItWatches)
{
    constexpr int holderLimit = 16;
    startServer();
    std::vector<PipeVisitor> holders;
    for (int i = 0; i < holderLimit; ++i)
        holders.emplace_back(std::vector<std::string>{"lock", "stay"});
    ASSERT_TRUE(waitUntil([&] { return locks == holderLimit && countOf("Reply sent") == holderLimit; },
                          milliseconds(60000)));

    const PipeVisitor refused({"lock"});
    EXPECT_EQ(refused.exitCode(), static_cast<unsigned long>(SERVICE_REPLY_FAIL));
    EXPECT_EQ(locks, holderLimit);
    EXPECT_FALSE(cleanedUpWithin(quietPeriod));

    for (const PipeVisitor& holder : holders)
        holder.kill(5);
    ASSERT_TRUE(waitUntil([&] { return cleanups > 0; }));
    EXPECT_EQ(terminations(), holderLimit);
    EXPECT_EQ(cleanups, 1);
}

} // namespace
