// The library against the lab's dialer, filtering platform and certutil,
// through the exports. A fake service answers on the pipe, so these tests
// need no installed service.

#include "ChildProcess.h"
#include "FakeService.h"
#include "LabInspect.h"
#include "ServicePipe.h"
#include "TempDirectory.h"
#include "VpnErrorTexts.h"
#include "ZeravVPN.h"

#include <fwpmu.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

constexpr GUID subLayerKey = {0xb7c6d11f, 0xd3f1, 0x4fb9, {0x8d, 0xa8, 0x52, 0x51, 0x16, 0x32, 0x2f, 0x76}};
const GUID layerV4 = {0xc38d57d1, 0x05a7, 0x4c33, {0x90, 0x4f, 0x7f, 0xbc, 0xee, 0xe6, 0x0e, 0x82}};
const GUID layerV6 = {0x4a72393b, 0x319f, 0x44bc, {0x84, 0xc3, 0xba, 0x54, 0xdc, 0xb3, 0xb6, 0xb4}};
const GUID remotePort = {0xc35a604d, 0xd22b, 0x4e1a, {0x91, 0xb4, 0x68, 0xf6, 0x74, 0xee, 0x67, 0x4b}};
const GUID interfaceIndex = {0x667fd755, 0xd695, 0x434a, {0x8a, 0xf5, 0xd3, 0x83, 0x5a, 0x12, 0x59, 0xbc}};

EventHandle callbackDone(CreateEventW(nullptr, FALSE, FALSE, nullptr));
std::atomic<bool> callbackResult{false};

void onResult(bool success)
{
    callbackResult = success;
    SetEvent(callbackDone.get());
}

bool waitForCallback()
{
    EXPECT_EQ(WaitForSingleObject(callbackDone.get(), 60000), WAIT_OBJECT_0) << "no callback";
    return callbackResult;
}

bool connect(const char* server)
{
    ZeravVPN_connect(server, false, onResult);
    return waitForCallback();
}

bool disconnect()
{
    ZeravVPN_disconnect(onResult);
    return waitForCallback();
}

size_t indexOf(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) - lines.begin();
}

// The version the system reports through ntdll, independent of the version
// test the library makes.
bool windowsVersionAtLeast(DWORD major, DWORD minor)
{
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    rtlGetVersion(&version);
    return version.dwMajorVersion > major || (version.dwMajorVersion == major && version.dwMinorVersion >= minor);
}

class PlatformTest : public testing::Test {
protected:
    void SetUp() override
    {
        lab::reset();
        ASSERT_TRUE(ZeravVPN_initLogging(logPath.c_str(), 0, true));
        ASSERT_TRUE(ZeravVPN_setConfig("Zerav VPN", "labuser", "labpass", "", "", 5000));
        vpnErrorTexts();
    }

    void TearDown() override
    {
        ZeravVPN_cleanup();
        lab::reset();
    }

    TempDirectory directory;
    std::string logPath = directory.file("vpn.log");
    FakeService service{SERVICE_REPLY_OK};
};

TEST_F(PlatformTest, ConnectWritesTheIkev2EntryAndDialsWithTheCredentials)
{
    ASSERT_TRUE(connect("instant.vpn.lab")) << ::testing::PrintToString(vpnErrorTexts());
    const lab::Snapshot lab = lab::snapshot();

    ASSERT_EQ(lab.entries.size(), 1u);
    const lab::PhonebookEntry& stored = lab.entries[0];
    EXPECT_EQ(stored.name, L"Zerav VPN");
    RasEntryW81 expected = {};
    RasEntryW7& e = expected.w7;
    e.dwSize = stored.size;
    e.dwfOptions = 0x1610;
    wcscpy(e.szLocalPhoneNumber, L"instant.vpn.lab");
    e.dwfNetProtocols = 4;
    wcscpy(e.szDeviceType, L"vpn");
    e.dwType = 2;
    e.dwEncryptionType = 1;
    e.dwVpnStrategy = 7;
    e.dwfOptions2 = 0x30000;
    e.dwIPv4InterfaceMetric = 3;
    e.dwIPv6InterfaceMetric = 3;
    ASSERT_GE(stored.size, sizeof(RasEntryW7));
    EXPECT_EQ(std::memcmp(&expected, &stored.entry, stored.size), 0) << "every field but these stays zero";

    ASSERT_EQ(lab.dials.size(), 1u);
    const lab::DialRecord& dial = lab.dials[0];
    EXPECT_EQ(dial.paramsSize, windowsVersionAtLeast(6, 3) ? 2120u : 2112u)
        << "Windows 8.1 and later take the whole structure, 7 and 8 all but its last member";
    EXPECT_EQ(dial.entryName, L"Zerav VPN");
    EXPECT_EQ(dial.userName, L"labuser");
    EXPECT_EQ(dial.passwordDigest, lab::passwordDigest(L"labpass"));
    EXPECT_EQ(dial.serverAddress, L"instant.vpn.lab");

    ASSERT_EQ(lab.connections.size(), 1u);
    EXPECT_EQ(lab.connections[0].entryName, L"Zerav VPN");
    EXPECT_TRUE(ZeravVPN_status());
    EXPECT_EQ(service.commands(), std::vector<int>{SERVICE_COMMAND_LOCK_DNS_LEAKS});

    for (const auto& line : readLines(logPath))
        EXPECT_EQ(line.find("labpass"), std::string::npos) << "the password reached the log: " << line;
}

TEST_F(PlatformTest, ASecondEntryReplacesTheFirstAndASecondConnectReusesTheConnection)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    ASSERT_TRUE(connect("open.vpn.lab"));
    const lab::Snapshot lab = lab::snapshot();
    ASSERT_EQ(lab.entries.size(), 1u);
    EXPECT_STREQ(lab.entries[0].entry.w7.szLocalPhoneNumber, L"open.vpn.lab");
    EXPECT_EQ(lab.dials.size(), 1u) << "a stored connection is reused without dialing";
    const auto lines = logMessages(logPath);
    EXPECT_LT(indexOf(lines, "RasDeleteEntry() AP 'Zerav VPN' result: 0"), lines.size())
        << "the old entry is deleted before the new one is written";
}

// Each way a dial fails. Where Windows reports the failure (its notifier
// names the error), the connect ends as soon as the 2.1 s floor allows, with
// the dialer's reason queued after "Timeout"; otherwise it waits out the
// time-out and has no reason to give.
struct FailedDial {
    const char* name;
    const char* server;
    const char* password;
    int timeoutMs;
    DWORD reason;
};

class FailedDialTest : public PlatformTest, public testing::WithParamInterface<FailedDial> {};

TEST_P(FailedDialTest, ReportsTimeoutWithTheDialersReasonAndLeavesNothingBehind)
{
    const FailedDial& dial = GetParam();
    ASSERT_TRUE(ZeravVPN_setConfig("Zerav VPN", "labuser", dial.password, "", "", dial.timeoutMs));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(connect(dial.server));
    const ULONGLONG elapsed = GetTickCount64() - start;

    std::vector<std::string> texts = {"Timeout"};
    if (dial.reason != 0)
        texts.push_back(windowsText("RasDial", dial.reason));
    EXPECT_EQ(vpnErrorTexts(), texts);
    EXPECT_GE(elapsed, 2000u);
    if (dial.reason != 0)
        EXPECT_LT(elapsed, static_cast<ULONGLONG>(dial.timeoutMs) - 2000) << "a refusal ends the wait";
    else
        EXPECT_GE(elapsed + 50, static_cast<ULONGLONG>(dial.timeoutMs)) << "nothing ends the wait early";
    const auto lines = logMessages(logPath);
    const size_t timeout = indexOf(lines, "RasDial() timeout");
    ASSERT_LT(timeout, lines.size());
    EXPECT_LT(timeout, indexOf(lines, "Exception: Timeout"));
    const lab::Snapshot lab = lab::snapshot();
    EXPECT_TRUE(lab.entries.empty());
    EXPECT_TRUE(lab.connections.empty()) << "hung up and gone before the callback";
    EXPECT_TRUE(lab.adapters.empty());
    EXPECT_TRUE(service.commands().empty()) << "no DNS lock for a failed dial";
}

INSTANTIATE_TEST_SUITE_P(Dials, FailedDialTest,
                         testing::Values(FailedDial{"wrong_password", "instant.vpn.lab", "wrong", 8000, 691},
                                         FailedDial{"refused", "refused.vpn.lab", "labpass", 8000, 691},
                                         FailedDial{"unknown_server", "unknown.vpn.lab", "labpass", 8000, 868},
                                         FailedDial{"stalled", "stalled.vpn.lab", "labpass", 1500, 0},
                                         FailedDial{"too_slow", "slow.vpn.lab", "labpass", 2500, 0},
                                         FailedDial{"no_wait", "instant.vpn.lab", "labpass", 0, 0}),
                         [](const testing::TestParamInfo<FailedDial>& info) { return std::string(info.param.name); });

TEST_F(PlatformTest, ADialThatCannotStartReportsTheDialersCode)
{
    EXPECT_FALSE(connect("nostart.vpn.lab"));
    const auto texts = vpnErrorTexts();
    ASSERT_EQ(texts.size(), 1u);
    const lab::Snapshot lab = lab::snapshot();
    ASSERT_FALSE(lab.dials.empty());
    EXPECT_EQ(texts[0], windowsText("RasDial", lab.dials.back().result));
    EXPECT_TRUE(lab.entries.empty());
    EXPECT_TRUE(lab.connections.empty());
}

TEST_F(PlatformTest, StatusNoticesAConnectionThatDied)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    ASSERT_TRUE(lab::dropConnection(lab::snapshot().connections.at(0).id));
    EXPECT_FALSE(ZeravVPN_status());
    EXPECT_EQ(vpnErrorTexts(), std::vector<std::string>{windowsText("RasGetConnectStatus", ERROR_INVALID_HANDLE)});
    EXPECT_FALSE(ZeravVPN_status());
    EXPECT_TRUE(vpnErrorTexts().empty()) << "the dead handle is forgotten after the first look";
}

TEST_F(PlatformTest, AFailingServiceTearsTheConnectionDown)
{
    service.setReply(SERVICE_REPLY_FAIL);
    EXPECT_FALSE(connect("instant.vpn.lab"));
    EXPECT_TRUE(vpnErrorTexts().empty()) << "a FAIL reply queues nothing";
    const lab::Snapshot lab = lab::snapshot();
    EXPECT_TRUE(lab.connections.empty());
    EXPECT_TRUE(lab.entries.empty());
}

// A host's bad argument is refused before anything is touched: the tunnel
// that is up stays up, and its DNS lock stays with it.
TEST_F(PlatformTest, ABadServerAddressLeavesTheLiveConnectionAlone)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    const std::string tooLong(129, 'a');
    for (const char* server : {static_cast<const char*>(nullptr), "\xff\xfe", tooLong.c_str()})
        EXPECT_FALSE(connect(server));
    EXPECT_EQ(vpnErrorTexts(), (std::vector<std::string>{"Null pointer passed as server address", "Invalid UTF-8 text",
                                                         "Server address is longer than 128 characters"}));
    EXPECT_TRUE(ZeravVPN_status());
    EXPECT_EQ(service.commands(), std::vector<int>{SERVICE_COMMAND_LOCK_DNS_LEAKS}) << "no UNLOCK, no second LOCK";
    const lab::Snapshot lab = lab::snapshot();
    ASSERT_EQ(lab.connections.size(), 1u);
    EXPECT_EQ(lab.entries.size(), 1u);
    EXPECT_EQ(lab.dials.size(), 1u);
}

std::atomic<int> connected{0};
std::atomic<int> reported{0};

void countConnect(bool success)
{
    connected += success;
    ++reported;
}

// Three connects one right after the other, the service failing every
// other lock: a failed connect's teardown must touch neither what the next
// connect dials nor the connection an earlier one made, so whoever hears
// "connected" has a tunnel that is up.
TEST_F(PlatformTest, AFailedConnectLeavesOtherConnectsConnectionsAlone)
{
    for (int round = 0; round < 3; ++round) {
        service.alternateLockReplies();
        connected = 0;
        reported = 0;
        for (int i = 0; i < 3; ++i)
            ZeravVPN_connect("instant.vpn.lab", false, countConnect);
        for (int waited = 0; reported < 3 && waited < 60000; waited += 10)
            Sleep(10);
        ASSERT_EQ(reported.load(), 3);
        EXPECT_EQ(connected.load(), 1) << "round " << round << ": " << testing::PrintToString(vpnErrorTexts());
        EXPECT_TRUE(ZeravVPN_status()) << "round " << round;
        const lab::Snapshot lab = lab::snapshot();
        EXPECT_EQ(lab.connections.size(), 1u) << "round " << round;
        EXPECT_EQ(lab.entries.size(), 1u) << "round " << round;
        EXPECT_TRUE(disconnect());
    }
}

TEST_F(PlatformTest, DisconnectHangsUpDeletesTheEntryAndAsksForUnlock)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    EXPECT_TRUE(disconnect());
    const lab::Snapshot lab = lab::snapshot();
    EXPECT_TRUE(lab.connections.empty());
    EXPECT_TRUE(lab.adapters.empty());
    EXPECT_TRUE(lab.entries.empty());
    EXPECT_EQ(service.commands(),
              (std::vector<int>{SERVICE_COMMAND_LOCK_DNS_LEAKS, SERVICE_COMMAND_UNLOCK_DNS_LEAKS}));
}

ZERAV_CHILD_ROLE(disconnectThenExit)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    ZeravVPN_setConfig("Zerav VPN", "labuser", "labpass", "", "", 5000);
    if (!connect("instant.vpn.lab"))
        return 2;
    ZeravVPN_disconnect(onResult);
    WaitForSingleObject(callbackDone.get(), 60000);
    ExitProcess(callbackResult ? 0 : 3);
}

// Windows finishes a hang-up after RasHangUpW has returned, and a process
// that ends before then may leave the connection open: the disconnect waits
// until the connection is gone before it calls back.
TEST_F(PlatformTest, AHostThatExitsRightAfterItsDisconnectLeavesNoConnection)
{
    EXPECT_EQ(runChild("disconnectThenExit", {logPath}), 0u);
    const lab::Snapshot lab = lab::snapshot();
    EXPECT_TRUE(lab.connections.empty()) << lab::describe(lab);
    EXPECT_TRUE(lab.adapters.empty());
}

TEST_F(PlatformTest, ConnectsAgainRightAfterEachDisconnect)
{
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(connect("instant.vpn.lab")) << "cycle " << cycle << ": " << testing::PrintToString(vpnErrorTexts());
        ASSERT_TRUE(disconnect()) << "cycle " << cycle << ": " << testing::PrintToString(vpnErrorTexts());
    }
    EXPECT_TRUE(vpnErrorTexts().empty());
    EXPECT_TRUE(lab::snapshot().connections.empty());
}

// The adapter's description is the entry name in the ANSI code page, as
// Windows gives it; the lock must find the adapter by that.
TEST_F(PlatformTest, AnEntryNameOutsideAsciiConnectsAndLocks)
{
    ASSERT_TRUE(ZeravVPN_setConfig("Z\xc3\xa9rav VPN", "labuser", "labpass", "", "", 5000));
    ASSERT_TRUE(connect("instant.vpn.lab")) << testing::PrintToString(vpnErrorTexts());
    ASSERT_TRUE(ZeravVPN_lock_DNS_leaks()) << testing::PrintToString(vpnErrorTexts());
    const lab::Snapshot lab = lab::snapshot();
    ASSERT_EQ(lab.adapters.size(), 1u);
    EXPECT_EQ(lab.entries.at(0).name, L"Z\u00e9rav VPN");
    const DWORD vpnIndex = lab.adapters[0].index;
    EXPECT_TRUE(lab::probe({53, vpnIndex, lab::IpVersion::V4}).permitted) << "DNS through the tunnel";
    EXPECT_FALSE(lab::probe({53, vpnIndex + 1000, lab::IpVersion::V4}).permitted) << "DNS around it";
    EXPECT_TRUE(ZeravVPN_unlock_DNS_leaks());
}

// Any process may create the pipe while the service is not there and
// answer OK to everything; the host must not take its word for a DNS lock.
class Impostor {
public:
    Impostor()
        : pipe_(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4,
                                 4, 0, nullptr))
        , thread_([this] { serve(); })
    {
    }
    ~Impostor()
    {
        stopping_ = true;
        PipeHandle wake(CreateFileW(servicePipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        thread_.join();
    }
    int bytesReceived() const { return bytes_; }

private:
    void serve()
    {
        while (!stopping_ && (ConnectNamedPipe(pipe_.get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)) {
            std::int32_t command = 0;
            const std::int32_t ok = SERVICE_REPLY_OK;
            DWORD count = 0;
            while (!stopping_ && ReadFile(pipe_.get(), &command, sizeof command, &count, nullptr) && count > 0) {
                bytes_ += static_cast<int>(count);
                WriteFile(pipe_.get(), &ok, sizeof ok, &count, nullptr);
            }
            DisconnectNamedPipe(pipe_.get());
        }
    }

    PipeHandle pipe_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> bytes_{0};
    std::thread thread_;
};

TEST(ServiceIdentity, AnImpostorOnThePipeGetsNoCommandAndTheConnectFails)
{
    lab::reset();
    TempDirectory directory;
    ASSERT_TRUE(ZeravVPN_initLogging(directory.file("vpn.log").c_str(), 0, true));
    ASSERT_TRUE(ZeravVPN_setConfig("Zerav VPN", "labuser", "labpass", "", "", 5000));
    vpnErrorTexts();
    {
        const Impostor impostor;
        EXPECT_FALSE(connect("instant.vpn.lab"));
        EXPECT_EQ(impostor.bytesReceived(), 0);
    }
    EXPECT_EQ(vpnErrorTexts(), std::vector<std::string>{"OpenService(): ZeravMobile VPN service failed : " +
                                                        std::to_string(ERROR_SERVICE_DOES_NOT_EXIST)});
    const lab::Snapshot lab = lab::snapshot();
    EXPECT_TRUE(lab.connections.empty()) << "the dial is torn down";
    EXPECT_TRUE(lab.sessions.empty());
    ZeravVPN_cleanup();
    lab::reset();
}

struct ProbeCase {
    UINT16 port;
    bool throughVpn;
    lab::IpVersion version;
    bool passesWhileLocked;
};

const ProbeCase probes[] = {
    {53, true, lab::IpVersion::V4, true},    {53, true, lab::IpVersion::V6, true},
    {53, false, lab::IpVersion::V4, false},  {53, false, lab::IpVersion::V6, false},
    {443, false, lab::IpVersion::V4, true},  {443, true, lab::IpVersion::V6, true},
};

void expectProbes(DWORD vpnIndex, bool locked)
{
    for (const ProbeCase& c : probes) {
        const lab::Probe probe{c.port, c.throughVpn ? vpnIndex : vpnIndex + 1000, c.version};
        EXPECT_EQ(lab::probe(probe).permitted, locked ? c.passesWhileLocked : true) << lab::describe(probe, lab::probe(probe));
    }
}

void expectLockFilters(const lab::Snapshot& lab, DWORD vpnIndex)
{
    ASSERT_EQ(lab.sessions.size(), 1u);
    EXPECT_EQ(lab.sessions[0].flags, 1u) << "a dynamic session";
    EXPECT_EQ(lab.sessions[0].ownerPid, GetCurrentProcessId());
    ASSERT_EQ(lab.sublayers.size(), 1u);
    EXPECT_EQ(lab.sublayers[0].key, subLayerKey);
    EXPECT_EQ(lab.sublayers[0].name, L"ZeravVPN DNS leaks block");
    EXPECT_EQ(lab.sublayers[0].description, L"ZeravVPN DNS leaks block");
    EXPECT_EQ(lab.sublayers[0].weight, 0x100);
    EXPECT_EQ(lab.sublayers[0].flags, 0u);

    auto filters = lab.filters;
    ASSERT_EQ(filters.size(), 4u);
    std::sort(filters.begin(), filters.end(), [](auto& a, auto& b) { return a.id < b.id; });
    const struct {
        const GUID& layer;
        bool permit;
    } order[] = {{layerV4, true}, {layerV6, true}, {layerV4, false}, {layerV6, false}};
    for (size_t i = 0; i < 4; ++i) {
        const lab::Filter& f = filters[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(f.name, L"ZeravVPN DNS leaks block");
        EXPECT_FALSE(f.hasDescription);
        EXPECT_EQ(f.flags, 0u);
        EXPECT_EQ(f.layerKey, order[i].layer);
        EXPECT_EQ(f.subLayerKey, subLayerKey);
        EXPECT_EQ(f.weightType, order[i].permit ? FWP_UINT8 : FWP_EMPTY);
        if (order[i].permit) {
            EXPECT_EQ(f.weightValue, 15u);
        }
        EXPECT_EQ(f.actionType, order[i].permit ? FWP_ACTION_PERMIT : FWP_ACTION_BLOCK);
        ASSERT_EQ(f.conditions.size(), order[i].permit ? 2u : 1u);
        EXPECT_EQ(f.conditions[0].fieldKey, remotePort);
        EXPECT_EQ(f.conditions[0].matchType, FWP_MATCH_EQUAL);
        EXPECT_EQ(f.conditions[0].valueType, FWP_UINT16);
        EXPECT_EQ(f.conditions[0].value, 53u);
        if (order[i].permit) {
            EXPECT_EQ(f.conditions[1].fieldKey, interfaceIndex);
            EXPECT_EQ(f.conditions[1].valueType, FWP_UINT32);
            EXPECT_EQ(f.conditions[1].value, vpnIndex);
        }
    }
}

TEST_F(PlatformTest, TheLockClosesDnsEverywhereButThroughTheTunnel)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    const DWORD vpnIndex = lab::snapshot().adapters.at(0).index;
    expectProbes(vpnIndex, false);

    ASSERT_TRUE(ZeravVPN_lock_DNS_leaks()) << ::testing::PrintToString(vpnErrorTexts());
    expectLockFilters(lab::snapshot(), vpnIndex);
    expectProbes(vpnIndex, true);

    ASSERT_TRUE(ZeravVPN_lock_DNS_leaks());
    const lab::Snapshot relocked = lab::snapshot();
    expectLockFilters(relocked, vpnIndex);
    const auto lines = logMessages(logPath);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Firewall rules added"), 2);

    ASSERT_TRUE(ZeravVPN_unlock_DNS_leaks());
    const lab::Snapshot unlocked = lab::snapshot();
    EXPECT_TRUE(unlocked.filters.empty());
    EXPECT_TRUE(unlocked.sessions.empty());
    expectProbes(vpnIndex, false);
    ASSERT_TRUE(ZeravVPN_unlock_DNS_leaks()) << "unlocking twice is harmless";
    EXPECT_EQ(logMessages(logPath).back(), "DNS leaks unlocked");
}

TEST_F(PlatformTest, TheLockWithoutTheAdapterFailsAndAddsNothing)
{
    EXPECT_FALSE(ZeravVPN_lock_DNS_leaks());
    EXPECT_EQ(vpnErrorTexts(), std::vector<std::string>{"Our VPN interface index not found"});
    EXPECT_TRUE(lab::snapshot().filters.empty());
}

ZERAV_CHILD_ROLE(lockAndExit)
{
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    return ZeravVPN_lock_DNS_leaks() ? 0 : 1;
}

TEST_F(PlatformTest, TheRulesEndWithTheProcessThatLocked)
{
    ASSERT_TRUE(connect("instant.vpn.lab"));
    const DWORD vpnIndex = lab::snapshot().adapters.at(0).index;
    ASSERT_EQ(runChild("lockAndExit", {logPath}), 0u);
    EXPECT_TRUE(lab::snapshot().filters.empty()) << "a dynamic session dies with its process";
    expectProbes(vpnIndex, false);
}

ZERAV_CHILD_ROLE(connectAs)
{
    FakeService service(SERVICE_REPLY_OK);
    ZeravVPN_initLogging(args.at(0).c_str(), 0, true);
    ZeravVPN_setConfig(args.at(1).c_str(), "labuser", "labpass", "", "", 5000);
    return connect("instant.vpn.lab") ? 0 : 1;
}

// Windows keeps one connection per entry, so the dialer's processes leave
// one connection of ours beside another entry's.
TEST(PlatformCleanup, HangsUpOnlyConnectionsOfTheEntryName)
{
    lab::reset();
    TempDirectory directory;
    const std::string logPath = directory.file("vpn.log");
    // Connections outlive the processes that dialed them, as on Windows.
    for (const char* name : {"Other VPN", "Zerav VPN"})
        ASSERT_EQ(runChild("connectAs", {logPath, name}), 0u) << name;
    ASSERT_TRUE(ZeravVPN_initLogging(logPath.c_str(), 0, true));
    ASSERT_TRUE(ZeravVPN_setConfig("Zerav VPN", "", "", "", "", 0));

    const lab::Snapshot before = lab::snapshot();
    ASSERT_EQ(before.connections.size(), 2u);
    ASSERT_TRUE(ZeravVPN_lock_DNS_leaks());
    const lab::Snapshot locked = lab::snapshot();
    DWORD ours = 0;
    for (const auto& adapter : locked.adapters)
        if (adapter.description == "Zerav VPN")
            ours = adapter.index;
    std::vector<DWORD> permitted;
    for (const auto& filter : locked.filters)
        if (filter.conditions.size() == 2)
            permitted.push_back(static_cast<DWORD>(filter.conditions[1].value));
    EXPECT_EQ(permitted, (std::vector<DWORD>{ours, ours})) << "DNS passes through our adapter only";

    ZeravVPN_cleanup();
    const lab::Snapshot after = lab::snapshot();
    ASSERT_EQ(after.connections.size(), 1u);
    EXPECT_EQ(after.connections[0].entryName, L"Other VPN");
    EXPECT_TRUE(after.filters.empty());
    for (const auto& entry : after.entries)
        EXPECT_NE(entry.name, L"Zerav VPN");
    lab::reset();
}

} // namespace
