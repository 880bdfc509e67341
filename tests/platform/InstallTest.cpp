// Install and deinstall against the machine's registry and the lab's
// certutil.

#include "LabInspect.h"
#include "TempDirectory.h"
#include "VpnErrorTexts.h"
#include "ZeravVPN.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const wchar_t* wizardKey = L"SYSTEM\\CurrentControlSet\\Control\\Network\\NewNetworkWindowOff";

bool wizardKeyExists()
{
    HKEY key = nullptr;
    const bool exists = RegOpenKeyExW(HKEY_LOCAL_MACHINE, wizardKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key)
        RegCloseKey(key);
    return exists;
}

// certutil runs on after the call returns; its record appears when it has.
std::vector<std::wstring> certutilCommandLines(size_t expected)
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < 100; ++i) {
        lines.clear();
        for (const auto& run : lab::snapshot().certutilRuns)
            lines.push_back(run.commandLine);
        if (lines.size() >= expected)
            break;
        Sleep(100);
    }
    return lines;
}

std::wstring toWideText(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

bool endsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::wstring besideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L"\\/")) + L"\\" + name;
}

class InstallTest : public testing::Test {
protected:
    void SetUp() override
    {
        lab::reset();
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wizardKey, 0, 0);
        ASSERT_TRUE(ZeravVPN_initLogging(directory.file("vpn.log").c_str(), 0, true));
        vpnErrorTexts();
    }
    void TearDown() override
    {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wizardKey, 0, 0);
        lab::reset();
    }
    TempDirectory directory;
};

TEST_F(InstallTest, InstallAddsTheKeyAndTheCertificateDeinstallTakesBothAway)
{
    ASSERT_TRUE(ZeravVPN_install()) << ::testing::PrintToString(vpnErrorTexts());
    EXPECT_TRUE(wizardKeyExists());
    auto lines = certutilCommandLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(endsWith(lines[0], L"-addstore -f -enterprise -user root \"" +
                                       besideThisProgram(L"strongswanCert.der") + L"\""))
        << std::string(lines[0].begin(), lines[0].end());
    const auto store = lab::snapshot().rootStore;
    ASSERT_EQ(store.size(), 1u) << "the lab's certutil added the file beside the host";
    EXPECT_EQ(store[0].name, L"Zerav Mobile Root CA");

    ASSERT_TRUE(ZeravVPN_deinstall()) << ::testing::PrintToString(vpnErrorTexts());
    EXPECT_FALSE(wizardKeyExists());
    lines = certutilCommandLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(endsWith(lines[1], L"-delstore -enterprise root \"Zerav Mobile Root CA\""));
    EXPECT_TRUE(lab::snapshot().rootStore.empty());
}

TEST_F(InstallTest, AKeyThatInstallFoundIsKeptByDeinstall)
{
    ASSERT_TRUE(ZeravVPN_install());
    ASSERT_TRUE(ZeravVPN_install()) << "the second install opens the key it created";
    ASSERT_TRUE(ZeravVPN_deinstall());
    EXPECT_TRUE(wizardKeyExists());
}

TEST_F(InstallTest, DeinstallWithoutTheKeyFailsBeforeTouchingTheCertificate)
{
    EXPECT_FALSE(ZeravVPN_deinstall());
    const auto texts = vpnErrorTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("RegDeleteKeyEx: 2 ", 0), 0u) << texts[0];
    Sleep(500);
    EXPECT_TRUE(lab::snapshot().certutilRuns.empty());
}


// Install runs certutil elevated, so it must be the system's own: one planted
// in the current folder (here a program that is not certutil at all and
// records nothing) must not be the one that runs.
TEST_F(InstallTest, RunsTheSystemsCertutilNotOnePlantedInTheCurrentFolder)
{
    const std::wstring planted = toWideText(directory.path()) + L"\\certutil.exe";
    ASSERT_TRUE(CopyFileW(besideThisProgram(L"labctl.exe").c_str(), planted.c_str(), FALSE));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(toWideText(directory.path()).c_str()));
    const bool installed = ZeravVPN_install();
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(installed) << ::testing::PrintToString(vpnErrorTexts());
    EXPECT_EQ(certutilCommandLines(1).size(), 1u) << "the lab's certutil in the system folder ran";
    EXPECT_EQ(lab::snapshot().rootStore.size(), 1u);
    ASSERT_TRUE(ZeravVPN_deinstall());
}
} // namespace
