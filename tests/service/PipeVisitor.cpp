#include "PipeVisitor.h"

#include "ChildProcess.h"
#include "RawPipeClient.h"
#include "ServicePipe.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto pipeWaitLimit = std::chrono::seconds(10);
constexpr DWORD eventWaitLimitMs = 30000;
constexpr DWORD stayMs = 60000;
constexpr DWORD exitLimitMs = 15000;
constexpr int stepFailed = 100;

std::string messageOf(std::int32_t command)
{
    return std::string(reinterpret_cast<const char*>(&command), sizeof command);
}

const std::map<std::string, std::string>& messages()
{
    static const std::map<std::string, std::string> byStep = {
        {"leave", ""},
        {"ping", messageOf(SERVICE_COMMAND_PING)},
        {"lock", messageOf(SERVICE_COMMAND_LOCK_DNS_LEAKS)},
        {"unlock", messageOf(SERVICE_COMMAND_UNLOCK_DNS_LEAKS)},
        {"short", std::string("\x02\x00", 2)},
        {"unknown", messageOf(7)},
    };
    return byStep;
}

// Other clients may hold the only instance for a moment; the visitor waits
// its turn as long as the pipe takes to come free.
std::optional<RawPipeClient> connectWhenFree()
{
    const auto deadline = Clock::now() + pipeWaitLimit;
    while (Clock::now() < deadline) {
        WaitNamedPipeW(servicePipeName, 1000);
        RawPipeClient client;
        if (client.connected())
            return client;
        Sleep(10);
    }
    return std::nullopt;
}

// The reply, 0 for a visit without a message, nothing when it failed.
std::optional<std::int32_t> exchange(const std::string& message)
{
    std::optional<RawPipeClient> client = connectWhenFree();
    if (!client)
        return std::nullopt;
    if (message.empty())
        return 0;
    if (!client->send(message))
        return std::nullopt;
    return client->receiveReply();
}

bool awaitEvent(const std::string& name)
{
    const EventHandle event(OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
    return event && WaitForSingleObject(event.get(), eventWaitLimitMs) == WAIT_OBJECT_0;
}

ZERAV_CHILD_ROLE(pipe_visitor)
{
    const std::string awaitPrefix = "await=";
    int lastReply = 0;
    for (const std::string& step : args) {
        if (step == "stay") {
            Sleep(stayMs);
        } else if (step.rfind(awaitPrefix, 0) == 0) {
            if (!awaitEvent(step.substr(awaitPrefix.size())))
                return stepFailed;
        } else {
            const auto reply = exchange(messages().at(step));
            if (!reply)
                return stepFailed;
            lastReply = *reply;
        }
    }
    return lastReply;
}

} // namespace

PipeVisitor::PipeVisitor(const std::vector<std::string>& steps)
    : process_(startChild("pipe_visitor", steps))
{
}

PipeVisitor::~PipeVisitor()
{
    if (process_)
        TerminateProcess(process_.get(), 1);
}

unsigned long PipeVisitor::id() const
{
    return GetProcessId(process_.get());
}

unsigned long PipeVisitor::exitCode() const
{
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process_.get(), exitLimitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_.get(), &exitCode);
    return exitCode;
}

void PipeVisitor::kill(unsigned exitCode) const
{
    TerminateProcess(process_.get(), exitCode);
    WaitForSingleObject(process_.get(), exitLimitMs);
}
