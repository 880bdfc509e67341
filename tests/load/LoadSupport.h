#pragma once

#include "LabInspect.h"

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// What the load, fault and bad-input programs share: the library's result
// callbacks counted, resource counts of a process, the lab's leftovers.

// The result callback of the library is a plain function, so its calls are
// counted program-wide.
class CallbackTally {
public:
    static void callback(bool success);

    // Waits until `total` callbacks have arrived; false when they do not come
    // within the limit.
    static bool waitFor(size_t total, std::chrono::milliseconds limit);
    static size_t total();
    static size_t successes();
    // The result of the callback with this number, counting from 0.
    static bool result(size_t index);
};

struct ProcessCounts {
    DWORD handles = 0;
    DWORD listedHandles = 0;
    DWORD threads = 0;
};

// The handle count as the process reports it (GetProcessHandleCount), its
// handles in the system's handle list (NtQuerySystemInformation), and its
// thread count (a Toolhelp snapshot); zeros for what cannot be read.
ProcessCounts processCounts(DWORD processId);

// The process's handles in the system's handle list: value and object type.
std::vector<std::pair<unsigned, unsigned>> listedHandles(DWORD processId);

// The object type of a handle of this process, as the system names it.
std::string objectTypeName(HANDLE handle);

// Whether no count is above the limit's.
bool withinLimit(const ProcessCounts& counts, const ProcessCounts& limit);
ProcessCounts highest(const ProcessCounts& a, const ProcessCounts& b);
std::string describe(const ProcessCounts& counts);

// Polls until no count is above `limit`; the counts last seen.
ProcessCounts settledCounts(DWORD processId, const ProcessCounts& limit, std::chrono::milliseconds wait);

// Every object of the lab that a finished session must not leave behind:
// entries, connections, adapters, WFP sessions, sublayers, filters. Empty
// when the lab is clean.
std::vector<std::string> labLeftovers(const lab::Snapshot& state);

// The command line of another process, read from its process parameters.
std::wstring processCommandLine(DWORD processId);

// The whole text of a log file and its rotated predecessor.
std::string logTextWithOld(const std::string& path);

std::string narrow(const std::wstring& text);
