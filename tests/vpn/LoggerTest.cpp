#include "ChildProcess.h"
#include "LogRecord.h"
#include "LogSettings.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace {

const std::regex lineFormat(R"(^(\d{4})\.(\d{2})\.(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) ([TIWEF]) ([0-9a-f]{8}) (.*)$)");

class LoggerTest : public testing::Test {
protected:
    void SetUp() override { LogSettings::replace(logPath, 0, true); }
    void TearDown() override { LogSettings::replace(LogSettings::defaultPath(), 0, true); }

    TempDirectory directory;
    std::string logPath = directory.file("test.log");
};

TEST(LogHeader, PadsEveryFieldAndLeavesLaterNumbersAlone)
{
    SYSTEMTIME time = {};
    time.wYear = 2021;
    time.wMonth = 8;
    time.wDay = 17;
    time.wHour = 1;
    time.wMinute = 2;
    time.wSecond = 3;
    time.wMilliseconds = 7;
    std::ostringstream out;
    writeLogHeader(out, time, LogLevel::Info, 0x1f3c);
    out << "DNS leaks locked " << 42 << ' ' << 0x1f;
    EXPECT_EQ(out.str(), "2021.08.17 01:02:03.007 I 00001f3c DNS leaks locked 42 31");
}

TEST_F(LoggerTest, WritesOneLineWithTheCallersThreadAndLevel)
{
    log(LogLevel::Warning, "value ", 7, " and ", -3);
    const auto lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, lineFormat)) << lines[0];
    EXPECT_EQ(match[8], "W");
    char threadId[9];
    snprintf(threadId, sizeof threadId, "%08lx", GetCurrentThreadId());
    EXPECT_EQ(match[9], threadId);
    EXPECT_EQ(match[10], "value 7 and -3");
    EXPECT_EQ(readFile(logPath).substr(readFile(logPath).size() - 2), "\r\n");
}

struct ThresholdCase {
    int threshold;
    bool enabled;
    std::string expectedLetters;
};

class LoggerThreshold : public LoggerTest, public testing::WithParamInterface<ThresholdCase> {};

TEST_P(LoggerThreshold, KeepsOnlyLevelsAtOrAboveTheThreshold)
{
    LogSettings::replace(logPath, GetParam().threshold, GetParam().enabled);
    for (LogLevel level : {LogLevel::Trace, LogLevel::Info, LogLevel::Warning, LogLevel::Error, LogLevel::Fatal})
        log(level, "record");
    std::string letters;
    for (const auto& line : readLines(logPath))
        letters += line.at(24);
    EXPECT_EQ(letters, GetParam().expectedLetters);
    EXPECT_EQ(fileExists(logPath), !GetParam().expectedLetters.empty()) << "a filtered record must not touch the file";
}

INSTANTIATE_TEST_SUITE_P(Thresholds, LoggerThreshold,
                         testing::Values(ThresholdCase{0, true, "TIWEF"}, ThresholdCase{1, true, "IWEF"},
                                         ThresholdCase{4, true, "F"}, ThresholdCase{5, true, ""},
                                         ThresholdCase{-7, true, "TIWEF"}, ThresholdCase{0, false, ""}),
                         [](const testing::TestParamInfo<ThresholdCase>& info) {
                             const int t = info.param.threshold;
                             return std::string(info.param.enabled ? "enabled" : "disabled") + "_threshold_" +
                                    (t < 0 ? "minus" + std::to_string(-t) : std::to_string(t));
                         });

TEST_F(LoggerTest, RotatesOnlyOnceTheFileHasReachedTheLimit)
{
    const std::string old = logPath + ".old";
    writeFile(old, "an older rotation\r\n");
    const std::string almostFull(51199, 'x');
    writeFile(logPath, almostFull);

    log(LogLevel::Info, "first");
    EXPECT_EQ(readFile(old), "an older rotation\r\n") << "51199 bytes must not rotate";
    const std::string grown = readFile(logPath);
    ASSERT_GE(grown.size(), 51200u);
    EXPECT_EQ(grown.substr(0, almostFull.size()), almostFull);

    log(LogLevel::Info, "second");
    EXPECT_EQ(readFile(old), grown) << "the full file becomes the .old one, replacing the earlier";
    const auto lines = readLines(logPath);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("second"), std::string::npos);
}

TEST_F(LoggerTest, LosesRecordsSilentlyInAMissingDirectory)
{
    const std::string lost = directory.file("missing\\deeper\\zerav.log");
    LogSettings::replace(lost, 0, true);
    SetLastError(1234);
    log(LogLevel::Error, "nowhere to go");
    EXPECT_EQ(GetLastError(), 1234u) << "logging must not disturb the caller's last error";
    EXPECT_FALSE(fileExists(lost));
    EXPECT_FALSE(fileExists(directory.file("missing")));
}

TEST(LogSettingsDefault, IsTheLogFileInTheTemporaryDirectory)
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    EXPECT_EQ(LogSettings::defaultPath(), std::string(temp) + "\\zerav_vpn.log");
    EXPECT_EQ(LogSettings::current()->maxFileSize, 51200);
}

TEST_F(LoggerTest, TakesAPathWithADoubledSeparatorAsTheDefaultOneHas)
{
    LogSettings::replace(directory.path() + "\\\\doubled.log", 0, true);
    log(LogLevel::Info, "arrives");
    EXPECT_EQ(logMessages(directory.file("doubled.log")), std::vector<std::string>{"arrives"});
}

void writeRecords(const std::string& tag, int count)
{
    const std::string padding(120, '.');
    for (int i = 0; i < count; ++i)
        log(LogLevel::Info, tag, " ", i, " ", padding, " end");
}

ZERAV_CHILD_ROLE(logWriter)
{
    LogSettings::replace(args.at(0), 0, true);
    writeRecords(args.at(1), std::stoi(args.at(2)));
    return 0;
}

// Four threads here and two other processes append to one file at once,
// with rotation off the table (the file stays under the limit): every line
// must arrive whole, and none may be lost.
TEST_F(LoggerTest, ConcurrentWritersNeitherTearNorLoseLines)
{
    constexpr int perWriter = 40;
    std::vector<ProcessHandle> children;
    for (const char* tag : {"processA", "processB"})
        children.emplace_back(startChild("logWriter", {logPath, tag, std::to_string(perWriter)}));
    std::vector<std::thread> threads;
    for (const char* tag : {"thread0", "thread1", "thread2", "thread3"})
        threads.emplace_back(writeRecords, tag, perWriter);
    for (auto& thread : threads)
        thread.join();
    for (auto& child : children)
        WaitForSingleObject(child.get(), INFINITE);

    std::map<std::string, std::set<int>> seen;
    const std::regex message(R"(^(\w+) (\d+) \.{120} end$)");
    for (const auto& line : readLines(logPath)) {
        std::smatch header, body;
        ASSERT_TRUE(std::regex_match(line, header, lineFormat)) << testing::PrintToString(line);
        const std::string text = header[10];
        ASSERT_TRUE(std::regex_match(text, body, message)) << line;
        EXPECT_TRUE(seen[body[1]].insert(std::stoi(body[2])).second) << "duplicate " << line;
    }
    ASSERT_EQ(seen.size(), 6u);
    for (const auto& [writer, records] : seen)
        EXPECT_EQ(records.size(), static_cast<size_t>(perWriter)) << writer;
}

// Other processes holding the writers' turn must not stall this one: a record
// that cannot get its turn in time is lost, and the next one after the turn
// comes free is written again.
constexpr LONGLONG writersTurnOffset = 0x7FFFFFFF00000000LL;

ZERAV_CHILD_ROLE(holdWritersTurn)
{
    FileHandle file(CreateFileA(args.at(0).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED turn = {};
    turn.Offset = static_cast<DWORD>(writersTurnOffset);
    turn.OffsetHigh = static_cast<DWORD>(writersTurnOffset >> 32);
    if (!file || !LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn))
        return 2;
    EventHandle held(OpenEventA(EVENT_MODIFY_STATE, FALSE, args.at(1).c_str()));
    SetEvent(held.get());
    Sleep(INFINITE);
    return 0;
}

TEST_F(LoggerTest, AWriterThatNeverGivesUpItsTurnCostsRecordsNotAHang)
{
    const std::string heldName = "zerav-logger-turn-held-" + std::to_string(GetCurrentProcessId());
    EventHandle held(CreateEventA(nullptr, TRUE, FALSE, heldName.c_str()));
    ProcessHandle holder(startChild("holdWritersTurn", {logPath, heldName}));
    ASSERT_EQ(WaitForSingleObject(held.get(), 30000), WAIT_OBJECT_0);

    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 5; ++i)
            log(LogLevel::Info, "while stuck ", i);
        done = true;
    });
    for (int waited = 0; waited < 20000 && !done; waited += 10)
        Sleep(10);
    const bool finishedWhileHeld = done;
    TerminateProcess(holder.get(), 0);
    WaitForSingleObject(holder.get(), 30000);
    writer.join();
    EXPECT_TRUE(finishedWhileHeld) << "five records waited without bound for the writers' turn";
    EXPECT_TRUE(logMessages(logPath).empty()) << "records that never had the turn are lost";

    log(LogLevel::Info, "after the holder ended");
    const auto messages = logMessages(logPath);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "after the holder ended"), 1);
}

// Two processes fill the file over and over. Whoever rotates must see the
// size under the writers' turn: a ".old" file is only ever a whole
// generation, never the one record a second rotation left behind.
TEST_F(LoggerTest, ConcurrentRotationsKeepAWholeGenerationInTheOldFile)
{
    constexpr int perWriter = 12000;
    const std::string old = logPath + ".old";
    std::vector<ProcessHandle> children;
    for (const char* tag : {"processA", "processB"})
        children.emplace_back(startChild("logWriter", {logPath, tag, std::to_string(perWriter)}));
    const HANDLE waitSet[] = {children[0].get(), children[1].get()};

    int observed = 0;
    std::vector<long long> shortGenerations;
    while (WaitForMultipleObjects(2, waitSet, TRUE, 0) == WAIT_TIMEOUT) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(old.c_str(), GetFileExInfoStandard, &data)) {
            ++observed;
            if (data.nFileSizeLow < 51200 && data.nFileSizeHigh == 0)
                shortGenerations.push_back(data.nFileSizeLow);
        }
        Sleep(1);
    }
    EXPECT_GT(observed, 0) << "the writers never rotated";
    EXPECT_EQ(shortGenerations, std::vector<long long>{}) << "sizes of .old files below the limit";
    WIN32_FILE_ATTRIBUTE_DATA last;
    ASSERT_TRUE(GetFileAttributesExA(old.c_str(), GetFileExInfoStandard, &last));
    EXPECT_GE(last.nFileSizeLow, 51200u);
}

// Paths around and beyond the length the ANSI file functions take, with
// room left for ".old": rotation works for every path the log accepts.
std::wstring extendedPath(const std::string& path)
{
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

long long fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(extendedPath(path).c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class LongLogPath : public LoggerTest, public testing::WithParamInterface<size_t> {};

TEST_P(LongLogPath, RotatesLikeAnyOther)
{
    std::string path = directory.path();
    const size_t length = GetParam();
    while (path.size() + 40 < length) {
        path += "\\" + std::string(std::min<size_t>(60, length - path.size() - 35), 'd');
        ASSERT_TRUE(CreateDirectoryW(extendedPath(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    path += "\\" + std::string(length - path.size() - 1 - 4, 'f') + ".log";
    ASSERT_EQ(path.size(), length);
    LogSettings::replace(path, 0, true);

    const std::string line(1000, 'x');
    for (int i = 0; i < 50; ++i)
        log(LogLevel::Info, line);
    ASSERT_GE(fileSize(path), 51200) << "the records must reach the file";
    log(LogLevel::Info, "rotated");
    EXPECT_GE(fileSize(path + ".old"), 51200);
    EXPECT_LT(fileSize(path), 1000);

    DeleteFileW(extendedPath(path).c_str());
    DeleteFileW(extendedPath(path + ".old").c_str());
    for (size_t cut; (cut = path.rfind('\\')) > directory.path().size();) {
        path.resize(cut);
        RemoveDirectoryW(extendedPath(path).c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongLogPath, testing::Values(200, 257, 259, 300, 400),
                         [](const auto& info) { return std::to_string(info.param); });

} // namespace
