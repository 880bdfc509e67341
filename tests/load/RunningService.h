#pragma once

#include "LabInspect.h"
#include "LoadSupport.h"
#include "LogSettings.h"
#include "ServiceLog.h"
#include "ServiceProgram.h"
#include "TempDirectory.h"
#include "VpnErrorTexts.h"
#include "ZeravVPN.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

constexpr const char* labPassword = "labpass";

inline void configureHost(const char* entry = "Zerav VPN", int timeoutMs = 10000)
{
    ZeravVPN_setConfig(entry, "labuser", labPassword, "", "zerav_VPN_service.exe", timeoutMs);
}

inline void removeService()
{
    runServiceProgram(L"stop");
    runServiceProgram(L"delete");
}

// A host of the library against a clean lab, with a log of its own.
class LabHost : public testing::Test {
protected:
    void SetUp() override
    {
        lab::reset();
        ZeravVPN_initLogging(hostLog.c_str(), 0, true);
        configureHost();
        vpnErrorTexts();
    }

    void TearDown() override
    {
        lab::reset();
        vpnErrorTexts();
        ZeravVPN_initLogging(LogSettings::defaultPath().c_str(), 0, true);
    }

    // The next result callback, counted program-wide; false when none comes.
    bool nextResult()
    {
        ++awaited;
        const bool arrived = CallbackTally::waitFor(awaited, std::chrono::seconds(60));
        EXPECT_TRUE(arrived) << "no callback";
        EXPECT_EQ(CallbackTally::total(), awaited) << "more than one callback";
        return arrived && CallbackTally::result(awaited - 1);
    }

    bool connect(const char* server, bool ensureService = true)
    {
        ZeravVPN_connect(server, ensureService, CallbackTally::callback);
        return nextResult();
    }

    bool disconnect()
    {
        ZeravVPN_disconnect(CallbackTally::callback);
        return nextResult();
    }

    TempDirectory directory;
    std::string hostLog = directory.file("host.log");
    size_t awaited = CallbackTally::total();
};

// The service installed under the service control manager of the lab
// prefix besides. The service runs under the same account as this program,
// so its log is this account's default one.
class RunningService : public LabHost {
protected:
    void SetUp() override
    {
        removeService();
        DeleteFileA(serviceLog.c_str());
        DeleteFileA((serviceLog + ".old").c_str());
        LabHost::SetUp();
        ASSERT_EQ(runServiceProgram(L"install").exitCode, 0u);
    }

    void TearDown() override
    {
        removeService();
        LabHost::TearDown();
    }

    DWORD startService()
    {
        runServiceProgram(L"start");
        SERVICE_STATUS_PROCESS status = {};
        EXPECT_TRUE(queryService(status));
        EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        return status.dwProcessId;
    }

    static DWORD runningServiceProcess()
    {
        SERVICE_STATUS_PROCESS status = {};
        return queryService(status) && status.dwCurrentState == SERVICE_RUNNING ? status.dwProcessId : 0;
    }

    std::vector<std::string> serviceMessages() const { return messagesOf(readLogEntries(serviceLog)); }
    bool serviceLogged(const std::string& line) const
    {
        const auto all = serviceMessages();
        return std::find(all.begin(), all.end(), line) != all.end();
    }

    std::string serviceLog = LogSettings::defaultPath();
};

inline bool lockedBy(DWORD servicePid)
{
    const lab::Snapshot state = lab::snapshot();
    return state.sessions.size() == 1 && state.sessions.front().ownerPid == servicePid && !state.filters.empty();
}

inline bool labClean()
{
    return labLeftovers(lab::snapshot()).empty();
}
