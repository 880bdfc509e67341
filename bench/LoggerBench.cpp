// Records per second of the logger, which opens, appends and closes the file
// for every record, beside two baselines measured in this run: the floor of
// that design (the same stat, open, append and close per record, without the
// logger: no writers' turn, no header, no settings), and the same lines
// appended to a file kept open.

#include "LogRecord.h"
#include "LogSettings.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int recordsPerThread = 1000;
// The machine's speed drifts under Wine; each figure is the median of rounds
// that take turns with its baselines, so both see the same conditions.
constexpr int rounds = 7;
const std::string message = "Service performs lock DNS leaks. Result : true";

double rate(int threads, void (*writer)(int))
{
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back(writer, i);
    for (auto& worker : workers)
        worker.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return threads * recordsPerThread / seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void loggerWriter(int)
{
    for (int i = 0; i < recordsPerThread; ++i)
        log(LogLevel::Info, message, " ", i);
}

HANDLE openFile = INVALID_HANDLE_VALUE;
std::string floorPath;

std::string line(int i)
{
    return "2021.08.17 11:31:54.007 I 00001f3c " + message + " " + std::to_string(i) + "\r\n";
}

void floorWriter(int)
{
    for (int i = 0; i < recordsPerThread; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExA(floorPath.c_str(), GetFileExInfoStandard, &data);
        FileHandle file(CreateFileA(floorPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string text = line(i);
        DWORD written = 0;
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void keptOpenWriter(int)
{
    for (int i = 0; i < recordsPerThread; ++i) {
        const std::string text = line(i);
        DWORD written = 0;
        WriteFile(openFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

} // namespace

int main()
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "zerav-logger-bench.log";
    LogSettings::replace(path, 0, true);
    floorPath = path + ".floor";

    std::printf("%-34s %10s %10s %s\n", "name", "value", "baseline", "unit");
    FileHandle file(CreateFileA((path + ".baseline").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    openFile = file.get();
    for (int threads : {1, 4}) {
        std::vector<double> logger, floor, baseline;
        for (int round = 0; round < rounds; ++round) {
            logger.push_back(rate(threads, loggerWriter));
            DeleteFileA(floorPath.c_str());
            floor.push_back(rate(threads, floorWriter));
            baseline.push_back(rate(threads, keptOpenWriter));
        }
        const std::string name = "logger_" + std::to_string(threads) + "_thread" + (threads == 1 ? "" : "s");
        std::printf("%-34s %10.0f %10.0f %s\n", (name + "_vs_floor").c_str(), median(logger), median(floor),
                    "records/s");
        std::printf("%-34s %10.0f %10.0f %s\n", (name + "_vs_open_file").c_str(), median(logger), median(baseline),
                    "records/s");
    }
    file.reset();
    DeleteFileA(path.c_str());
    DeleteFileA((path + ".old").c_str());
    DeleteFileA((path + ".baseline").c_str());
    DeleteFileA(floorPath.c_str());
    return 0;
}
