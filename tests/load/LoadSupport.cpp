#include "LoadSupport.h"

#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

// Windows' own lock and condition, not the C++ runtime's: the callbacks
// arrive on the library's threads, and the runtime of this program would keep
// a record with an event for every such thread it saw.
SRWLOCK tallyLock = SRWLOCK_INIT;
CONDITION_VARIABLE tallyChanged = CONDITION_VARIABLE_INIT;
std::vector<bool> tallyResults;

class TallyGuard {
public:
    TallyGuard() { AcquireSRWLockExclusive(&tallyLock); }
    ~TallyGuard() { ReleaseSRWLockExclusive(&tallyLock); }
    TallyGuard(const TallyGuard&) = delete;
    TallyGuard& operator=(const TallyGuard&) = delete;
};

DWORD threadCount(DWORD processId)
{
    const FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == processId)
            ++count;
    }
    return count;
}

} // namespace

void CallbackTally::callback(bool success)
{
    const TallyGuard guard;
    tallyResults.push_back(success);
    WakeAllConditionVariable(&tallyChanged);
}

bool CallbackTally::waitFor(size_t total, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const TallyGuard guard;
    while (tallyResults.size() < total) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        SleepConditionVariableSRW(&tallyChanged, &tallyLock, static_cast<DWORD>(left.count()), 0);
    }
    return true;
}

size_t CallbackTally::total()
{
    const TallyGuard guard;
    return tallyResults.size();
}

size_t CallbackTally::successes()
{
    const TallyGuard guard;
    return static_cast<size_t>(std::count(tallyResults.begin(), tallyResults.end(), true));
}

bool CallbackTally::result(size_t index)
{
    const TallyGuard guard;
    return index < tallyResults.size() && tallyResults[index];
}

std::vector<std::pair<unsigned, unsigned>> listedHandles(DWORD processId)
{
    constexpr NTSTATUS lengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == lengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
            continue;
        }
        std::vector<std::pair<unsigned, unsigned>> handles;
        if (status != 0)
            return handles;
        const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
        for (ULONG i = 0; i < list->Count; ++i) {
            if (list->Handle[i].OwnerPid == processId)
                handles.emplace_back(list->Handle[i].HandleValue, list->Handle[i].ObjectType);
        }
        return handles;
    }
}

std::string objectTypeName(HANDLE handle)
{
    alignas(8) BYTE buffer[1024] = {};
    ULONG length = 0;
    if (NtQueryObject(handle, ObjectTypeInformation, buffer, sizeof buffer, &length) != 0)
        return "?";
    const auto* type = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(buffer);
    return narrow(std::wstring(type->TypeName.Buffer, type->TypeName.Length / sizeof(wchar_t)));
}

ProcessCounts processCounts(DWORD processId)
{
    ProcessCounts counts;
    const ProcessHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (process)
        GetProcessHandleCount(process.get(), &counts.handles);
    counts.listedHandles = static_cast<DWORD>(listedHandles(processId).size());
    counts.threads = threadCount(processId);
    return counts;
}

bool withinLimit(const ProcessCounts& counts, const ProcessCounts& limit)
{
    return counts.handles <= limit.handles && counts.listedHandles <= limit.listedHandles &&
           counts.threads <= limit.threads;
}

ProcessCounts highest(const ProcessCounts& a, const ProcessCounts& b)
{
    return {std::max(a.handles, b.handles), std::max(a.listedHandles, b.listedHandles),
            std::max(a.threads, b.threads)};
}

std::string describe(const ProcessCounts& counts)
{
    char text[96];
    std::snprintf(text, sizeof text, "handles %4lu listed %4lu threads %3lu", counts.handles, counts.listedHandles,
                  counts.threads);
    return text;
}

ProcessCounts settledCounts(DWORD processId, const ProcessCounts& limit, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    ProcessCounts counts = processCounts(processId);
    while (!withinLimit(counts, limit) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        counts = processCounts(processId);
    }
    return counts;
}

std::vector<std::string> labLeftovers(const lab::Snapshot& state)
{
    std::vector<std::string> leftovers;
    const auto count = [&](size_t size, const char* what) {
        if (size != 0)
            leftovers.push_back(std::to_string(size) + " " + what);
    };
    count(state.entries.size(), "phone-book entries");
    count(state.connections.size(), "connections");
    count(state.adapters.size(), "adapters");
    count(state.sessions.size(), "WFP sessions");
    count(state.sublayers.size(), "sublayers");
    count(state.filters.size(), "filters");
    return leftovers;
}

std::wstring processCommandLine(DWORD processId)
{
    const ProcessHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return {};
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG length = 0;
    if (NtQueryInformationProcess(process.get(), ProcessBasicInformation, &basic, sizeof basic, &length) != 0)
        return {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return {};
    std::wstring commandLine(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, commandLine.data(),
                           parameters.CommandLine.Length, nullptr))
        return {};
    return commandLine;
}

std::string logTextWithOld(const std::string& path)
{
    std::string text;
    for (const std::string& file : {path + ".old", path}) {
        if (fileExists(file))
            text += readFile(file);
    }
    return text;
}

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}
