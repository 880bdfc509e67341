#pragma once

#include <memory>
#include <sstream>
#include <string>

struct LogSettings;

enum class LogLevel : int { Trace = 0, Info = 1, Warning = 2, Error = 3, Fatal = 4 };

bool logEnabled(LogLevel level);

struct _SYSTEMTIME;

// "2021.08.17 11:31:54.007 I 00001f3c ": local time, level letter and thread
// id, every field zero-padded to its width. The fill stays '0' for the rest
// of the record; widths apply to one output only, so later numbers are not
// padded.
void writeLogHeader(std::ostream& out, const _SYSTEMTIME& time, LogLevel level, unsigned long threadId);

// One log line in the making. The header is written when the record is
// created and the line reaches the file when it completes, in one append, so
// records of other threads and processes never interleave inside a line.
class LogRecord {
public:
    explicit LogRecord(LogLevel level);
    LogRecord(const LogRecord&) = delete;
    LogRecord& operator=(const LogRecord&) = delete;
    ~LogRecord();

    template <typename T>
    LogRecord& operator<<(const T& value)
    {
        line_ << value;
        return *this;
    }

    std::ostream& stream() { return line_; }

private:
    std::shared_ptr<const LogSettings> settings_;
    std::ostringstream line_;
    unsigned long lastError_;
};

// Writes one record made of the given pieces, or nothing at all (no file
// access, no formatting) when the level is filtered out.
template <typename... Pieces>
void log(LogLevel level, const Pieces&... pieces)
{
    if (!logEnabled(level))
        return;
    LogRecord record(level);
    (record << ... << pieces);
}
