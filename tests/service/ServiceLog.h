#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// One record of a log file: its level letter and its message.
struct LogEntry {
    char level = '?';
    std::string message;
};

std::vector<LogEntry> readLogEntries(const std::string& path);
std::vector<std::string> messagesOf(const std::vector<LogEntry>& entries);

// Whether `wanted` occurs in `messages` in this order, other lines between.
bool containsInOrder(const std::vector<std::string>& messages, const std::vector<std::string>& wanted);

// Polls until the condition holds; false when it still fails after the time
// allowed. The limit only keeps a broken test from hanging.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(15000));
