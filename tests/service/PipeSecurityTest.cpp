#include "PipeServerFixture.h"
#include "RawPipeClient.h"
#include "ServiceClient.h"
#include "ServicePipe.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

namespace {

struct Ace {
    BYTE type;
    ACCESS_MASK mask;
    std::string sid;
};

std::string sidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    const LocalMemory owner(text);
    return std::string(text, text + wcslen(text));
}

// The entries of the DACL of the pipe the client is connected to, as the
// system keeps them.
std::vector<Ace> pipeDacl(HANDLE pipe)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_EQ(GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    const LocalMemory owner(descriptor);
    std::vector<Ace> aces;
    if (dacl == nullptr)
        return aces;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        const auto* header = static_cast<ACE_HEADER*>(ace);
        // Allowed and denied entries share their layout.
        const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        aces.push_back({header->AceType, entry->Mask, sidText(const_cast<DWORD*>(&entry->SidStart))});
    }
    return aces;
}

const Ace* find(const std::vector<Ace>& aces, const std::string& sid)
{
    for (const Ace& ace : aces) {
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

    const Ace* users = find(aces, "S-1-5-11");
    ASSERT_NE(users, nullptr);
    EXPECT_EQ(users->type, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(users->mask & (FILE_READ_DATA | FILE_WRITE_DATA), static_cast<ACCESS_MASK>(FILE_READ_DATA | FILE_WRITE_DATA));
    EXPECT_EQ(users->mask & FILE_CREATE_PIPE_INSTANCE, 0u);

    for (const char* owner : {"S-1-5-18", "S-1-5-32-544"}) {
        const Ace* full = find(aces, owner);
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
