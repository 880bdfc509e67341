#include "LogRecord.h"

#include "LogSettings.h"
#include "UniqueHandle.h"

#include <atomic>
#include <iomanip>

namespace {

// Writers of other threads and processes take turns through a lock on one
// byte far beyond any real log data, so readers of the file are never
// blocked, and no two appends can land on the same offset (Wine does not
// make appends atomic by itself).
constexpr LONGLONG writersTurnOffset = 0x7FFFFFFF00000000LL;

// A thread ended by ExitProcess while it had the turn keeps it until its
// process is gone, so no record waits for the turn without bound: one that
// cannot have it in time is lost. Once a record has given up, the next ones
// try only briefly until one gets through again, so that a process writing
// its last records at exit is not held up once for each of them.
constexpr ULONGLONG turnWaitMs = 1000;
constexpr ULONGLONG stuckTurnWaitMs = 20;
std::atomic<bool> turnStuck{false};

class WritersTurn {
public:
    explicit WritersTurn(HANDLE file) : file_(file)
    {
        turn_.Offset = static_cast<DWORD>(writersTurnOffset);
        turn_.OffsetHigh = static_cast<DWORD>(writersTurnOffset >> 32);
        held_ = take();
    }
    ~WritersTurn()
    {
        if (held_)
            UnlockFileEx(file_, 0, 1, 0, &turn_);
    }
    WritersTurn(const WritersTurn&) = delete;
    WritersTurn& operator=(const WritersTurn&) = delete;

    bool held() const { return held_; }

private:
    bool take()
    {
        const ULONGLONG deadline = GetTickCount64() + (turnStuck ? stuckTurnWaitMs : turnWaitMs);
        for (int attempt = 0;; ++attempt) {
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn_)) {
                turnStuck = false;
                return true;
            }
            if (GetLastError() != ERROR_LOCK_VIOLATION)
                return false;
            if (GetTickCount64() >= deadline) {
                turnStuck = true;
                return false;
            }
            Sleep(attempt < 50 ? 0 : 1);
        }
    }

    HANDLE file_;
    OVERLAPPED turn_ = {};
    bool held_ = false;
};

FileHandle openLog(const std::wstring& path, DWORD access, DWORD disposition)
{
    return FileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool isFull(HANDLE file, int maxFileSize)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) && size.QuadPart >= maxFileSize;
}

// Whether the open file is still the one at the path, and not a generation
// that another writer has rotated away meanwhile.
bool isCurrent(HANDLE file, const std::wstring& path)
{
    const FileHandle current = openLog(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    return current && GetFileInformationByHandle(file, &mine) && GetFileInformationByHandle(current.get(), &theirs) &&
           mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber && mine.nFileIndexHigh == theirs.nFileIndexHigh &&
           mine.nFileIndexLow == theirs.nFileIndexLow;
}

void writeAtEnd(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    if (SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END))
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Each record is one write at the end of the file, made with the writers'
// turn held. The size is read under the same turn, so exactly one writer
// rotates a full file, and a ".old" file is always a whole generation. A
// writer that opened the file just before another rotated it tries again on
// the new one. When the rename fails (another program holds the file without
// sharing its deletion), the record goes on to the current file.
void appendToFile(const LogSettings& settings, const std::string& text)
{
    const std::wstring old = settings.filePath + L".old";
    for (int attempt = 0; attempt < 3; ++attempt) {
        // GENERIC_WRITE, not append rights alone: LockFileEx takes only a
        // handle opened for reading or writing.
        const FileHandle file = openLog(settings.filePath, GENERIC_WRITE | FILE_READ_ATTRIBUTES, OPEN_ALWAYS);
        if (!file)
            return;
        const WritersTurn turn(file.get());
        if (!turn.held())
            return;
        if (isFull(file.get(), settings.maxFileSize)) {
            if (!isCurrent(file.get(), settings.filePath))
                continue;
            if (MoveFileExW(settings.filePath.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING))
                continue;
        }
        writeAtEnd(file.get(), text);
        return;
    }
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
    SYSTEMTIME now;
    GetLocalTime(&now);
    writeLogHeader(line_, now, level, GetCurrentThreadId());
}

LogRecord::~LogRecord()
{
    line_ << '\n';
    appendToFile(*settings_, withCrLf(line_.str()));
    SetLastError(lastError_);
}
