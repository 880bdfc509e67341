#include "PipeDacl.h"
#include "PipeServerFixture.h"
#include "RawPipeClient.h"
#include "ServiceClient.h"
#include "ServicePipe.h"


#include <gtest/gtest.h>

namespace {

const PipeAce* find(const std::vector<PipeAce>& aces, const std::string& sid)
{
    for (const PipeAce& ace : aces) {
        if (ace.sid == sid)
            return &ace;
    }
    return nullptr;
}

using PipeSecurityTest = PipeServerFixture;

TEST_F(PipeSecurityTest, LetsLocalUsersReadAndWriteButNotCreateInstances)
{
    startServer();
    RawPipeClient client;
    ASSERT_TRUE(client.connected()) << client.openError();
    const auto aces = pipeDacl(client.handle());
    ASSERT_FALSE(aces.empty()) << "a null or empty DACL";

    const PipeAce* users = find(aces, "S-1-5-11");
    ASSERT_NE(users, nullptr);
    EXPECT_EQ(users->type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(users->mask & (FILE_READ_DATA | FILE_WRITE_DATA), static_cast<ACCESS_MASK>(FILE_READ_DATA | FILE_WRITE_DATA));
    EXPECT_EQ(users->mask & FILE_CREATE_PIPE_INSTANCE, 0u);

    for (const char* owner : {"S-1-5-18", "S-1-5-32-544"}) {
        const PipeAce* full = find(aces, owner);
        ASSERT_NE(full, nullptr) << owner;
        EXPECT_EQ(full->type, ACCESS_ALLOWED_ACE_TYPE) << owner;
        EXPECT_EQ(full->mask & FILE_ALL_ACCESS, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS)) << owner;
    }

    // Denied first, so that no later grant lets a network logon in.
    EXPECT_EQ(aces.front().sid, "S-1-5-2");
    EXPECT_EQ(aces.front().type, ACCESS_DENIED_ACE_TYPE);
    EXPECT_EQ(find(aces, "S-1-1-0"), nullptr) << "Everyone";
    EXPECT_EQ(find(aces, "S-1-5-7"), nullptr) << "Anonymous";
}

TEST_F(PipeSecurityTest, NoSecondServerEndCanJoinTheRunningService)
{
    startServer();
    const PipeHandle intruder(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 4, 4, 0,
                                               nullptr));
    EXPECT_FALSE(intruder.valid());
    EXPECT_EQ(pingWhenListening(), SERVICE_REPLY_OK);
}

// Wine 8 creates the pipe in spite of FILE_FLAG_FIRST_PIPE_INSTANCE, so only
// Windows can show this.
bool runningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(PipeSecurityTest, TheServiceRefusesAPipeNameSomeoneElseHolds)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE";
    const PipeHandle squatter(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE,
                                               PIPE_UNLIMITED_INSTANCES, 4, 4, 0, nullptr));
    ASSERT_TRUE(squatter.valid());
    PipeServer server(terminate.get(), countingLibrary());
    EXPECT_FALSE(server.start());
    const auto all = messages();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().rfind("CreateNamedPipe() failed: ", 0), 0u) << all.back();
    EXPECT_FALSE(logged("Named pipe server started"));
}

} // namespace
