#include "ClientWatch.h"

#include "LogRecord.h"
#include "WindowsErrorText.h"

#include <algorithm>

namespace {

// Enough to learn of its end and its exit code.
constexpr DWORD watchAccess = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

ProcessHandle openProcess(DWORD processId)
{
    if (processId == 0)
        return ProcessHandle();
    ProcessHandle process(OpenProcess(watchAccess, FALSE, processId));
    if (!process)
        log(LogLevel::Error, "OpenProcess() failed: ", windowsErrorText(GetLastError()));
    return process;
}

} // namespace

ClientWatch::ClientWatch(LibraryCalls library)
    : library_(std::move(library))
{
}

LibraryCalls ClientWatch::callsFor(DWORD processId)
{
    return LibraryCalls{[this, processId] { return lock(processId); },
                        [this, processId] { return unlock(processId); }, library_.cleanup};
}

// A holder's further LOCK locks again, to the adapter of the moment.
bool ClientWatch::lock(DWORD processId)
{
    if (findHolder(processId) != holders_.end())
        return library_.lockDnsLeaks();
    if (holders_.size() >= maxHolders) {
        log(LogLevel::Error, "LOCK refused: ", maxHolders, " clients hold the DNS lock already");
        return false;
    }
    Client holder{processId, openProcess(processId)};
    if (!holder.process) {
        log(LogLevel::Error, "LOCK refused: the process of the client cannot be watched");
        return false;
    }
    if (!library_.lockDnsLeaks())
        return false;
    if (!watches(processId))
        log(LogLevel::Info, "Observe client PID ", processId);
    log(LogLevel::Info, "Client PID ", processId, " holds the DNS lock");
    holders_.push_back(std::move(holder));
    lastClient_ = Client();
    return true;
}

// The last holder stays watched after its UNLOCK, as the last client.
bool ClientWatch::unlock(DWORD processId)
{
    if (holders_.empty())
        return library_.unlockDnsLeaks();
    const auto holder = findHolder(processId);
    if (holder == holders_.end()) {
        log(LogLevel::Warning, "UNLOCK refused: client PID ", processId, " does not hold the DNS lock");
        return false;
    }
    if (holders_.size() > 1) {
        holders_.erase(holder);
        log(LogLevel::Info, "Client PID ", processId, " let go of the DNS lock; ", holders_.size(),
            " other clients still hold it");
        return true;
    }
    if (!library_.unlockDnsLeaks())
        return false;
    lastClient_ = std::move(*holder);
    holders_.clear();
    return true;
}

void ClientWatch::commandExecuted(DWORD processId)
{
    if (!holders_.empty() || watches(processId))
        return;
    lastClient_ = Client{processId, openProcess(processId)};
    if (lastClient_.process)
        log(LogLevel::Info, "Observe client PID ", processId);
}

std::vector<HANDLE> ClientWatch::processes() const
{
    std::vector<HANDLE> handles;
    for (const Client& holder : holders_)
        handles.push_back(holder.process.get());
    if (holders_.empty() && lastClient_.process)
        handles.push_back(lastClient_.process.get());
    return handles;
}

void ClientWatch::processEnded(std::size_t index)
{
    if (holders_.empty()) {
        logEnd(lastClient_);
        lastClient_ = Client();
        library_.cleanup();
        return;
    }
    const Client ended = std::move(holders_.at(index));
    holders_.erase(holders_.begin() + static_cast<std::ptrdiff_t>(index));
    logEnd(ended);
    if (holders_.empty())
        library_.cleanup();
    else
        log(LogLevel::Info, "No clean-up: ", holders_.size(), " other clients still hold the DNS lock");
}

void ClientWatch::stop()
{
    library_.cleanup();
    holders_.clear();
    lastClient_ = Client();
}

std::vector<ClientWatch::Client>::iterator ClientWatch::findHolder(DWORD processId)
{
    return std::find_if(holders_.begin(), holders_.end(),
                        [processId](const Client& holder) { return holder.processId == processId; });
}

bool ClientWatch::watches(DWORD processId)
{
    const bool last = lastClient_.process && lastClient_.processId == processId;
    return last || findHolder(processId) != holders_.end();
}

void ClientWatch::logEnd(const Client& client) const
{
    DWORD exitCode = 0;
    if (GetExitCodeProcess(client.process.get(), &exitCode))
        log(LogLevel::Info, "Client process terminated, exit code = ", exitCode);
    else
        log(LogLevel::Info, "Client process terminated");
}
