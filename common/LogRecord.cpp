#include "LogRecord.h"

#include "LogSettings.h"
#include "UniqueHandle.h"

#include <iomanip>

namespace {

void rotateIfFull(const LogSettings& settings)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(settings.path.c_str(), GetFileExInfoStandard, &data))
        return;
    const int size = static_cast<int>(data.nFileSizeLow);
    if (data.nFileSizeHigh == 0 && size >= 0 && size < settings.maxFileSize)
        return;
    const std::string old = settings.path + ".old";
    DeleteFileA(old.c_str());
    MoveFileA(settings.path.c_str(), old.c_str());
}

// Each record is one write at the end of the file. Writers of other threads
// and processes take turns through a lock on one byte far beyond any real
// log data, so readers of the file are never blocked, and no two appends can
// land on the same offset (Wine does not make appends atomic by itself).
void appendToFile(const std::string& path, const std::string& text)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    OVERLAPPED turn = {};
    turn.Offset = 0;
    turn.OffsetHigh = 0x7FFFFFFF;
    if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn))
        return;
    DWORD written = 0;
    if (SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END))
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    UnlockFileEx(file.get(), 0, 1, 0, &turn);
}

std::string withCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

void writeLogHeader(std::ostream& out, const SYSTEMTIME& time, LogLevel level, unsigned long threadId)
{
    out << std::setfill('0') << std::setw(4) << time.wYear << '.' << std::setw(2) << time.wMonth << '.'
        << std::setw(2) << time.wDay << ' ' << std::setw(2) << time.wHour << ':' << std::setw(2) << time.wMinute
        << ':' << std::setw(2) << time.wSecond << '.' << std::setw(3) << time.wMilliseconds << ' '
        << "TIWEF"[static_cast<int>(level)] << ' ' << std::hex << std::setw(8) << threadId << ' ' << std::dec;
}

bool logEnabled(LogLevel level)
{
    const auto settings = LogSettings::current();
    return settings->enabled && static_cast<int>(level) >= settings->level;
}

LogRecord::LogRecord(LogLevel level)
    : settings_(LogSettings::current())
    , lastError_(GetLastError())
{
    rotateIfFull(*settings_);
    SYSTEMTIME now;
    GetLocalTime(&now);
    writeLogHeader(line_, now, level, GetCurrentThreadId());
}

LogRecord::~LogRecord()
{
    line_ << '\n';
    appendToFile(settings_->path, withCrLf(line_.str()));
    SetLastError(lastError_);
}
