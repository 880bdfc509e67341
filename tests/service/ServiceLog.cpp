#include "ServiceLog.h"

#include "TempDirectory.h"

#include <algorithm>
#include <regex>
#include <thread>

namespace {

const std::regex recordFormat(R"(^\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3} ([TIWEF]) [0-9a-f]{8} (.*)$)");

} // namespace

std::vector<LogEntry> readLogEntries(const std::string& path)
{
    std::vector<LogEntry> entries;
    for (const std::string& line : readLines(path)) {
        std::smatch match;
        if (std::regex_match(line, match, recordFormat))
            entries.push_back({match[1].str()[0], match[2].str()});
        else
            entries.push_back({'?', line});
    }
    return entries;
}

std::vector<std::string> messagesOf(const std::vector<LogEntry>& entries)
{
    std::vector<std::string> messages;
    for (const LogEntry& entry : entries)
        messages.push_back(entry.message);
    return messages;
}

bool containsInOrder(const std::vector<std::string>& messages, const std::vector<std::string>& wanted)
{
    auto next = messages.begin();
    for (const std::string& line : wanted) {
        next = std::find(next, messages.end(), line);
        if (next == messages.end())
            return false;
        ++next;
    }
    return true;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
