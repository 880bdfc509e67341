#include "PipeDacl.h"
#include "RawPipeClient.h"
#include "RunningService.h"
#include "ServicePipe.h"
#include "UniqueHandle.h"


#include <cstdio>
#include <thread>

namespace {

using Security = RunningService;

// Read back from the service the service control manager started: network
// logons denied first, full access for SYSTEM and Administrators, data
// access for every authenticated user, and nothing else.
TEST_F(Security, TheRunningServicesPipeCarriesExactlyTheIntendedAccessList)
{
    startService();
    RawPipeClient client;
    ASSERT_TRUE(client.connected()) << client.openError();
    const ACCESS_MASK users = FILE_GENERIC_READ | (FILE_GENERIC_WRITE & ~FILE_CREATE_PIPE_INSTANCE);
    const std::vector<PipeAce> expected = {{ACCESS_DENIED_ACE_TYPE, FILE_ALL_ACCESS, "S-1-5-2"},
                                       {ACCESS_ALLOWED_ACE_TYPE, FILE_ALL_ACCESS, "S-1-5-18"},
                                       {ACCESS_ALLOWED_ACE_TYPE, FILE_ALL_ACCESS, "S-1-5-32-544"},
                                       {ACCESS_ALLOWED_ACE_TYPE, users, "S-1-5-11"}};
    EXPECT_EQ(pipeDacl(client.handle()), expected);
    EXPECT_EQ(users & (FILE_CREATE_PIPE_INSTANCE | WRITE_DAC | WRITE_OWNER), 0u);
}

TEST_F(Security, NoSecondServerEndOfTheNameWhileTheServiceRuns)
{
    startService();
    for (DWORD flags : {DWORD{0}, DWORD{FILE_FLAG_FIRST_PIPE_INSTANCE}}) {
        const PipeHandle second(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX | flags, PIPE_TYPE_MESSAGE,
                                                 PIPE_UNLIMITED_INSTANCES, 4, 4, 0, nullptr));
        const DWORD error = GetLastError();
        EXPECT_FALSE(second.valid()) << flags;
        EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) << error;
        std::printf("a second CreateNamedPipeW (flags 0x%lx) fails with %lu\n", flags, error);
    }
    RawPipeClient client;
    ASSERT_TRUE(client.connected()) << client.openError();
    ASSERT_TRUE(client.sendCommand(SERVICE_COMMAND_PING));
    EXPECT_EQ(client.receiveReply(), SERVICE_REPLY_OK);
}

bool mentionsPassword(const std::wstring& text)
{
    return narrow(text).find(labPassword) != std::string::npos;
}

// The password goes to the dialer in its parameters and nowhere else: not
// to the service's command line, nor to certutil's, nor to the command that
// starts the service, nor to either log.
TEST_F(Security, ThePasswordReachesTheDialerOnlyAndNoCommandLineOrLog)
{
    configureHost();
    ASSERT_TRUE(connect("instant.vpn.lab"));
    const DWORD service = runningServiceProcess();
    ASSERT_NE(service, 0u);
    const std::wstring serviceCommand = processCommandLine(service);
    ASSERT_FALSE(serviceCommand.empty());
    EXPECT_EQ(serviceCommand, serviceBinaryPath());
    EXPECT_EQ(serviceCommand.front(), L'"') << "the binary path is quoted";
    EXPECT_FALSE(mentionsPassword(serviceCommand));
    ASSERT_TRUE(disconnect());

    ASSERT_TRUE(ZeravVPN_install());
    ASSERT_TRUE(ZeravVPN_deinstall());
    // certutil goes on after the call returns; its record appears when done.
    ASSERT_TRUE(waitUntil([] { return lab::snapshot().certutilRuns.size() == 2; }));
    const lab::Snapshot state = lab::snapshot();
    for (const lab::CertutilRun& run : state.certutilRuns)
        EXPECT_FALSE(mentionsPassword(run.commandLine)) << narrow(run.commandLine);
    ASSERT_FALSE(state.dials.empty());
    EXPECT_EQ(state.dials.back().passwordLength, std::string(labPassword).size());
    EXPECT_EQ(state.dials.back().passwordDigest, lab::passwordDigest(L"labpass"));

    const auto host = logMessages(hostLog);
    const auto started = std::find_if(host.begin(), host.end(),
                                      [](const std::string& line) { return line.rfind("Executed: ", 0) == 0; });
    ASSERT_NE(started, host.end()) << "the connect started the service";
    EXPECT_NE(started->find("zerav_VPN_service.exe start. Exit code : 0"), std::string::npos) << *started;
    for (const std::string& log : {hostLog, serviceLog})
        EXPECT_EQ(logTextWithOld(log).find(labPassword), std::string::npos) << log;
}

bool runningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Whoever holds the pipe's name when the library calls learns who the host
// is, but cannot act as the host's user.
TEST_F(Security, AProcessSquattingThePipeNameCannotImpersonateTheHost)
{
    if (runningUnderWine())
        GTEST_SKIP() << "Wine's ImpersonateNamedPipeClient gives the server its own token";
    const PipeHandle squatter(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_WAIT, 1,
                                               4, 4, 0, nullptr));
    ASSERT_TRUE(squatter.valid()) << GetLastError();
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    bool impersonated = false;
    std::thread server([&] {
        ConnectNamedPipe(squatter.get(), nullptr);
        std::int32_t command = 0;
        DWORD bytes = 0;
        ReadFile(squatter.get(), &command, sizeof command, &bytes, nullptr);
        impersonated = ImpersonateNamedPipeClient(squatter.get());
        TokenHandle token;
        if (impersonated && OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
            DWORD size = 0;
            GetTokenInformation(token.get(), TokenImpersonationLevel, &level, sizeof level, &size);
        }
        RevertToSelf();
        const std::int32_t reply = SERVICE_REPLY_OK;
        WriteFile(squatter.get(), &reply, sizeof reply, &bytes, nullptr);
    });
    EXPECT_TRUE(disconnect());
    server.join();
    std::printf("the squatter's impersonation: %s, level %d\n", impersonated ? "granted" : "refused",
                static_cast<int>(level));
    EXPECT_TRUE(impersonated);
    EXPECT_EQ(level, SecurityIdentification);
}

} // namespace
