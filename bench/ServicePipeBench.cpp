// The service pipe as the host meets it: PING round trips per second through
// the library's pipe client against the running service (with and without
// the check of the pipe's server), beside a bare
// named-pipe echo that does the same open, write, read and close with no
// service behind it; and the time from ZeravVPN_connect to its callback for
// an instant dial of the lab, beside the 2.1 s the library waits at least.
// Installs, starts, stops and deletes the service in the lab's prefix.

#include "LabInspect.h"
#include "ServiceClient.h"
#include "ServiceProgram.h"
#include "UniqueHandle.h"
#include "ZeravVPN.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int roundTrips = 200;
constexpr int rounds = 5;
constexpr int connects = 3;
constexpr double connectFloorMs = 2100;
const wchar_t* echoPipeName = L"\\\\.\\pipe\\zerav-bench-echo";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One instance, one exchange per connection, like the service's server.
class EchoServer {
public:
    EchoServer()
        : pipe_(CreateNamedPipeW(echoPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                 1, 4, 4, 5000, nullptr))
        , thread_([this] { serve(); })
    {
    }
    ~EchoServer()
    {
        stopping_ = true;
        PipeHandle wake(CreateFileW(echoPipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        thread_.join();
    }

private:
    void serve()
    {
        while (!stopping_ && (ConnectNamedPipe(pipe_.get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED)) {
            std::int32_t message = 0;
            DWORD count = 0;
            if (ReadFile(pipe_.get(), &message, sizeof message, &count, nullptr))
                WriteFile(pipe_.get(), &message, sizeof message, &count, nullptr);
            FlushFileBuffers(pipe_.get());
            DisconnectNamedPipe(pipe_.get());
        }
    }

    PipeHandle pipe_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

bool echoOnce()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        PipeHandle pipe(CreateFileW(echoPipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!pipe) {
            if (GetLastError() != ERROR_PIPE_BUSY)
                return false;
            WaitNamedPipeW(echoPipeName, 2000);
            continue;
        }
        std::int32_t message = SERVICE_COMMAND_PING;
        DWORD count = 0;
        return WriteFile(pipe.get(), &message, sizeof message, &count, nullptr) &&
               ReadFile(pipe.get(), &message, sizeof message, &count, nullptr);
    }
    return false;
}

bool pingOnce()
{
    try {
        return sendServiceCommand(SERVICE_COMMAND_PING) == SERVICE_REPLY_OK;
    } catch (const std::exception&) {
        return false;
    }
}

// The same exchange without the check that the pipe's server is the
// service: what the check costs.
bool uncheckedPingOnce()
{
    try {
        return sendPipeCommand(SERVICE_COMMAND_PING) == SERVICE_REPLY_OK;
    } catch (const std::exception&) {
        return false;
    }
}

double rate(bool (*exchange)())
{
    const auto start = Clock::now();
    for (int i = 0; i < roundTrips; ++i) {
        if (!exchange())
            return 0;
    }
    return roundTrips / std::chrono::duration<double>(Clock::now() - start).count();
}

std::atomic<bool> callbackArrived{false};

void onResult(bool)
{
    callbackArrived = true;
}

double connectMs()
{
    callbackArrived = false;
    const auto start = Clock::now();
    ZeravVPN_connect("instant.vpn.lab", true, onResult);
    while (!callbackArrived && Clock::now() - start < std::chrono::seconds(30))
        Sleep(1);
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    callbackArrived = false;
    ZeravVPN_disconnect(onResult);
    for (int waited = 0; !callbackArrived && waited < 30000; ++waited)
        Sleep(1);
    return elapsed;
}

bool serviceRunning()
{
    for (int waited = 0; waited < 15000; waited += 50) {
        SERVICE_STATUS_PROCESS status = {};
        if (queryService(status) && status.dwCurrentState == SERVICE_RUNNING)
            return true;
        Sleep(50);
    }
    return false;
}

} // namespace

int main()
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    ZeravVPN_initLogging((std::string(temp) + "zerav-pipe-bench.log").c_str(), 0, true);
    ZeravVPN_setConfig("Zerav VPN", "labuser", "labpass", "", "zerav_VPN_service.exe", 5000);
    runServiceProgram(L"stop");
    runServiceProgram(L"delete");
    lab::reset();
    runServiceProgram(L"install");
    runServiceProgram(L"start");
    if (!serviceRunning()) {
        std::printf("the service did not start\n");
        return 1;
    }

    std::printf("%-34s %10s %10s %s\n", "name", "value", "baseline", "unit");
    std::vector<double> pings, unchecked, echoes;
    {
        const EchoServer echo;
        for (int round = 0; round < rounds; ++round) {
            pings.push_back(rate(pingOnce));
            unchecked.push_back(rate(uncheckedPingOnce));
            echoes.push_back(rate(echoOnce));
        }
    }
    std::printf("%-34s %10.0f %10.0f %s\n", "ping_vs_bare_pipe_echo", median(pings), median(echoes), "round-trips/s");
    std::printf("%-34s %10.0f %10.0f %s\n", "ping_unchecked_vs_bare_pipe_echo", median(unchecked), median(echoes),
                "round-trips/s");
    std::vector<double> times;
    for (int i = 0; i < connects; ++i)
        times.push_back(connectMs());
    std::printf("%-34s %10.0f %10.0f %s\n", "connect_to_callback_vs_floor", median(times), connectFloorMs, "ms");

    runServiceProgram(L"stop");
    runServiceProgram(L"delete");
    lab::reset();
    return 0;
}
