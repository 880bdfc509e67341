#include "ChildProcess.h"
#include "LogRecord.h"
#include "LogSettings.h"
#include "TempDirectory.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

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

} // namespace
