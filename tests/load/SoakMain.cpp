// Connect/disconnect cycles through the exports against the lab and the
// service running under the service control manager, with a random mix of
// server behaviours. Usage: load_soak [cycles] [seed]. Prints its counts and
// exits non-zero when a check failed.

#include "LabInspect.h"
#include "LoadSupport.h"
#include "LogSettings.h"
#include "ServiceProgram.h"
#include "TempDirectory.h"
#include "VpnErrorTexts.h"
#include "ZeravVPN.h"

#include <ras.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* password = "labpass";
constexpr milliseconds callbackLimit(30000);

// One kind of cycle: how the lab's server behaves, or the service failing
// the lock because the host's entry name is not the one it looks for.
struct Behaviour {
    const char* name;
    const char* server;
    const char* entry;
    int timeoutMs;
    bool connects;
    std::vector<std::string> connectTexts;
};

const std::vector<Behaviour> behaviours = {
    {"instant", "instant.vpn.lab", "Zerav VPN", 5000, true, {}},
    {"slow", "slow.vpn.lab", "Zerav VPN", 5000, true, {}},
    {"refused", "refused.vpn.lab", "Zerav VPN", 5000, false, {"Timeout", windowsText("RasDial", 691)}},
    {"stalled", "stalled.vpn.lab", "Zerav VPN", 1500, false, {"Timeout"}},
    {"service_fail", "instant.vpn.lab", "Zerav VPN soak", 5000, false, {}},
};

class Checks {
public:
    void expect(bool condition, const std::string& what)
    {
        ++checks_;
        if (condition)
            return;
        ++failures_;
        if (failures_ <= 50)
            std::printf("FAILED: %s\n", what.c_str());
    }
    int checks() const { return checks_; }
    int failures() const { return failures_; }

private:
    int checks_ = 0;
    int failures_ = 0;
};

std::string join(const std::vector<std::string>& texts)
{
    std::string out;
    for (const auto& text : texts)
        out += (out.empty() ? "" : " | ") + text;
    return out.empty() ? "(none)" : out;
}

bool connectedAndLocked(DWORD servicePid)
{
    const lab::Snapshot state = lab::snapshot();
    const bool connected = state.connections.size() == 1 && state.connections.front().state == RASCS_Connected;
    const bool locked = state.sessions.size() == 1 && state.sessions.front().ownerPid == servicePid &&
                        !state.filters.empty();
    return connected && locked;
}

struct Soak {
    Checks checks;
    size_t expectedCallbacks = 0;
    std::map<std::string, int> cycles;
    std::map<std::string, double> seconds;

    // One asynchronous operation: exactly one more callback, with the result
    // wanted, and no later one.
    void await(const std::string& what, bool wanted)
    {
        ++expectedCallbacks;
        const bool arrived = CallbackTally::waitFor(expectedCallbacks, callbackLimit);
        checks.expect(arrived, what + ": callback arrived");
        if (!arrived) {
            expectedCallbacks = CallbackTally::total();
            return;
        }
        checks.expect(CallbackTally::total() == expectedCallbacks, what + ": exactly one callback");
        checks.expect(CallbackTally::result(expectedCallbacks - 1) == wanted,
                      what + ": result " + (wanted ? "true" : "false"));
    }

    void cycle(const Behaviour& behaviour, DWORD servicePid, int number)
    {
        const std::string tag = "cycle " + std::to_string(number) + " " + behaviour.name;
        const auto start = Clock::now();
        ZeravVPN_setConfig(behaviour.entry, "labuser", password, "", "zerav_VPN_service.exe", behaviour.timeoutMs);
        ZeravVPN_connect(behaviour.server, true, CallbackTally::callback);
        await(tag + " connect", behaviour.connects);
        const auto texts = vpnErrorTexts();
        checks.expect(texts == behaviour.connectTexts, tag + " connect texts: " + join(texts));
        if (behaviour.connects) {
            checks.expect(connectedAndLocked(servicePid), tag + ": connected and locked by the service");
            checks.expect(ZeravVPN_status(), tag + ": status");
        }

        ZeravVPN_disconnect(CallbackTally::callback);
        await(tag + " disconnect", true);
        const auto disconnectTexts = vpnErrorTexts();
        checks.expect(disconnectTexts.empty(), tag + " disconnect texts: " + join(disconnectTexts));
        const auto leftovers = labLeftovers(lab::snapshot());
        checks.expect(leftovers.empty(), tag + " leaves " + join(leftovers));
        ++cycles[behaviour.name];
        seconds[behaviour.name] += std::chrono::duration<double>(Clock::now() - start).count();
    }
};

void printCounts(const char* when, const ProcessCounts& host, const ProcessCounts& service)
{
    std::printf("%-6s host %s | service %s\n", when, describe(host).c_str(), describe(service).c_str());
}

bool passwordIn(const std::string& path)
{
    return logTextWithOld(path).find(password) != std::string::npos;
}

void removeService()
{
    runServiceProgram(L"stop");
    runServiceProgram(L"delete");
}

} // namespace

int main(int argc, char** argv)
{
    const int total = argc > 1 ? std::atoi(argv[1]) : 500;
    const unsigned given = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 0;
    const unsigned seed = given != 0 ? given : std::random_device{}();
    // Handles a short run may find created once, late, by a rarely taken path
    // of the runtime or the lab (an event that then stays): a leak grows with
    // the cycles and still shows. The long run takes none.
    const unsigned slack = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 0;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("soak: %d cycles, seed %u, slack %u handles\n", total, seed, slack);

    TempDirectory directory;
    const std::string hostLog = directory.file("host.log");
    const std::string serviceLog = LogSettings::defaultPath();
    removeService();
    lab::reset();
    DeleteFileA(serviceLog.c_str());
    DeleteFileA((serviceLog + ".old").c_str());
    ZeravVPN_initLogging(hostLog.c_str(), 0, true);
    runServiceProgram(L"install");
    runServiceProgram(L"start");
    SERVICE_STATUS_PROCESS status = {};
    if (!queryService(status) || status.dwCurrentState != SERVICE_RUNNING) {
        std::printf("FAILED: the service did not start\n");
        removeService();
        return 2;
    }
    const DWORD servicePid = status.dwProcessId;
    const DWORD hostPid = GetCurrentProcessId();

    Soak soak;
    // One cycle of each kind first, so that whatever the library and the
    // service create once for good is there before the baseline is taken.
    for (size_t i = 0; i < behaviours.size(); ++i)
        soak.cycle(behaviours[i], servicePid, -1 - static_cast<int>(i));
    // The lab's dialer is a thread runtime of its own in this process, with
    // the same one-event-per-overlapping-thread habit: stalled dials in a row
    // keep several of its threads alive at once, so they raise its mark too.
    const auto stalled = std::find_if(behaviours.begin(), behaviours.end(),
                                      [](const Behaviour& b) { return std::string(b.name) == "stalled"; });
    for (int i = 0; i < 3; ++i)
        soak.cycle(*stalled, servicePid, -10 - i);
    // Overlapping workers: whatever the library or the lab keeps for the most
    // threads that ever ran at once is there before the baseline, so that only
    // growth beyond it counts.
    constexpr int overlapping = 4;
    for (int i = 0; i < overlapping; ++i)
        ZeravVPN_disconnect(CallbackTally::callback);
    soak.expectedCallbacks += overlapping;
    soak.checks.expect(CallbackTally::waitFor(soak.expectedCallbacks, callbackLimit), "overlapping disconnects");
    vpnErrorTexts();
    std::printf("warm-up: %zu cycles and %d overlapping disconnects, %zu callbacks\n", behaviours.size(),
                overlapping, CallbackTally::total());
    // The last worker may still be closing its handles.
    Sleep(1000);
    const auto hostHandlesAtStart = listedHandles(hostPid);
    const ProcessCounts hostStart = processCounts(hostPid);
    const ProcessCounts serviceStart = processCounts(servicePid);
    printCounts("start", hostStart, serviceStart);
    ProcessCounts hostPeak = hostStart;
    ProcessCounts servicePeak = serviceStart;

    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, behaviours.size() - 1);
    const auto started = Clock::now();
    const int every = std::max(1, total / 10);
    ProcessCounts hostHalf = hostStart;
    ProcessCounts serviceHalf = serviceStart;
    for (int number = 1; number <= total; ++number) {
        soak.cycle(behaviours[pick(random)], servicePid, number);
        const ProcessCounts host = processCounts(hostPid);
        const ProcessCounts service = processCounts(servicePid);
        hostPeak = highest(hostPeak, host);
        servicePeak = highest(servicePeak, service);
        if (number == total / 2) {
            hostHalf = settledCounts(hostPid, hostStart, milliseconds(5000));
            serviceHalf = settledCounts(servicePid, serviceStart, milliseconds(5000));
        }
        if (number % every == 0 || number == total) {
            std::printf("%4d cycles, %4zu callbacks: ", number, CallbackTally::total());
            printCounts("", host, service);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

    const ProcessCounts hostEnd = settledCounts(hostPid, hostStart, milliseconds(5000));
    const ProcessCounts serviceEnd = settledCounts(servicePid, serviceStart, milliseconds(5000));
    printCounts("half", hostHalf, serviceHalf);
    printCounts("end", hostEnd, serviceEnd);
    printCounts("peak", hostPeak, servicePeak);
    // A leak grows with the cycles, so the end may not be above the level of
    // the start or of half-time, whichever is higher: an object that a thread
    // runtime or the lab makes once, late (an event for the most threads it
    // ever ran at once, say), appears early and stays. Handle values are no
    // evidence either way: a handle closed and another opened in its place
    // gets a new value, so they are only listed to name the objects behind a
    // count that grew.
    ProcessCounts hostLimit = highest(hostStart, hostHalf);
    hostLimit.handles += slack;
    hostLimit.listedHandles += slack;
    const bool hostBack = withinLimit(hostEnd, hostLimit);
    soak.checks.expect(hostBack, "the host's handles and threads did not grow after half-time");
    for (const auto& handle : hostBack ? decltype(hostHandlesAtStart){} : listedHandles(hostPid)) {
        if (std::find(hostHandlesAtStart.begin(), hostHandlesAtStart.end(), handle) == hostHandlesAtStart.end())
            std::printf("host handle 0x%x (%s) is new since the start\n", handle.first,
                        objectTypeName(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(handle.first))).c_str());
    }
    soak.checks.expect(withinLimit(serviceEnd, highest(serviceStart, serviceHalf)),
                       "the service's handles and threads did not grow after half-time");

    Sleep(1000);
    soak.checks.expect(CallbackTally::total() == soak.expectedCallbacks, "no late callback");
    soak.checks.expect(queryService(status) && status.dwProcessId == servicePid, "the same service ran throughout");
    soak.checks.expect(!passwordIn(hostLog), "the password is not in the host's log");
    soak.checks.expect(!passwordIn(serviceLog), "the password is not in the service's log");
    const lab::Snapshot state = lab::snapshot();
    const std::string digest = lab::passwordDigest(L"labpass");
    soak.checks.expect(!state.dials.empty() && std::all_of(state.dials.begin(), state.dials.end(),
                                                           [&](const lab::DialRecord& d) {
                                                               return d.passwordDigest == digest;
                                                           }),
                       "the dialer was given the password");

    std::printf("cycles by behaviour:");
    for (const auto& [name, count] : soak.cycles)
        std::printf(" %s %d (%.2f s each)", name.c_str(), count, soak.seconds[name] / count);
    std::printf("\n%d cycles in %.1f s, %.2f s per cycle; %zu callbacks, %zu true\n", total, elapsed,
                total ? elapsed / total : 0.0, CallbackTally::total(), CallbackTally::successes());
    std::printf("%d checks, %d failed\n", soak.checks.checks(), soak.checks.failures());

    removeService();
    lab::reset();
    ZeravVPN_initLogging(LogSettings::defaultPath().c_str(), 0, true);
    return soak.checks.failures() == 0 ? 0 : 1;
}
