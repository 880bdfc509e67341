// Records per second of the logger, which opens, appends and closes the file
// for every record, beside a baseline that appends the same lines to a file
// it keeps open, both measured in this run.

#include "LogRecord.h"
#include "LogSettings.h"
#include "UniqueHandle.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int recordsPerThread = 2000;
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

void loggerWriter(int)
{
    for (int i = 0; i < recordsPerThread; ++i)
        log(LogLevel::Info, message, " ", i);
}

HANDLE openFile = INVALID_HANDLE_VALUE;

void keptOpenWriter(int)
{
    for (int i = 0; i < recordsPerThread; ++i) {
        const std::string line = "2021.08.17 11:31:54.007 I 00001f3c " + message + " " + std::to_string(i) + "\r\n";
        DWORD written = 0;
        WriteFile(openFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

} // namespace

int main()
{
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "zerav-logger-bench.log";
    LogSettings::replace(path, 0, true);

    std::printf("%-34s %10s %10s %s\n", "name", "value", "baseline", "unit");
    for (int threads : {1, 4}) {
        const double logger = rate(threads, loggerWriter);
        FileHandle file(CreateFileA((path + ".baseline").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        openFile = file.get();
        const double baseline = rate(threads, keptOpenWriter);
        const std::string name = "logger_" + std::to_string(threads) + "_thread" + (threads == 1 ? "" : "s");
        std::printf("%-34s %10.0f %10.0f %s\n", name.c_str(), logger, baseline, "records/s");
    }
    DeleteFileA(path.c_str());
    DeleteFileA((path + ".old").c_str());
    DeleteFileA((path + ".baseline").c_str());
    return 0;
}
