// Start-up figures of the menu library, each start in a fresh process so that
// every one is a cold start of Qt and the menu, followed by the list figures
// of qt_ui_list_bench. Prints one "name value unit" line per figure.

#include "ZeravQtUi.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int starts = 20;
constexpr double readyLimitMs = 150.0;

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// When init gave up waiting, the first request that the UI thread's event
// loop carries out marks the moment it became ready.
void waitUntilEventLoopRuns()
{
    while (!QCoreApplication::instance())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::BlockingQueuedConnection);
}

// One cold start: prints "<ms to ready> <1 if init reported ready>".
int coldStart()
{
    void* library = dlopen(ZERAV_QT_UI_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto initQtUi = reinterpret_cast<decltype(&ZeravQtUi_initQtUi)>(dlsym(library, "ZeravQtUi_initQtUi"));
    auto quit = reinterpret_cast<decltype(&ZeravQtUi_quit)>(dlsym(library, "ZeravQtUi_quit"));

    const Clock::time_point start = Clock::now();
    const bool ready = initQtUi();
    if (!ready)
        waitUntilEventLoopRuns();
    const double readyMs = millisecondsSince(start);

    std::printf("%.3f %d\n", readyMs, ready ? 1 : 0);
    std::fflush(stdout);
    quit();
    return 0;
}

struct StartResult
{
    double readyMs = 0;
    bool reportedReady = false;
};

bool runColdStart(const std::string& self, StartResult& result)
{
    const std::string command = "\"" + self + "\" --cold-start 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    int reported = 0;
    const bool parsed = std::fscanf(child, "%lf %d", &result.readyMs, &reported) == 2;
    result.reportedReady = reported == 1;
    return pclose(child) == 0 && parsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int measureAll(const std::string& self)
{
    std::vector<double> readyTimes;
    int reportedReady = 0;
    int beats = 0;
    for (int run = 0; run < starts; ++run) {
        StartResult result;
        if (!runColdStart(self, result)) {
            std::fprintf(stderr, "cold start %d failed\n", run + 1);
            return 1;
        }
        readyTimes.push_back(result.readyMs);
        reportedReady += result.reportedReady ? 1 : 0;
        beats += result.readyMs < readyLimitMs ? 1 : 0;
    }

    std::printf("%-32s %10s %s\n", "name", "value", "unit");
    std::printf("%-32s %10.1f %s\n", "cold_start_first_init_to_ready", readyTimes.front(), "ms");
    std::printf("%-32s %10.1f %s\n", "cold_start_median_init_to_ready", median(readyTimes), "ms");
    std::printf("%-32s %10.1f %s\n", "cold_start_min_init_to_ready",
        *std::min_element(readyTimes.begin(), readyTimes.end()), "ms");
    std::printf("%-32s %10.1f %s\n", "cold_start_max_init_to_ready",
        *std::max_element(readyTimes.begin(), readyTimes.end()), "ms");
    std::printf("%-32s %7d/%-2d %s\n", "cold_starts_under_150ms", beats, starts, "starts");
    std::printf("%-32s %7d/%-2d %s\n", "cold_starts_init_returned_true", reportedReady, starts, "starts");
    std::fflush(stdout);

    const std::string listCommand = std::string("\"") + QT_UI_LIST_BENCH_FILE + "\" --no-header";
    return std::system(listCommand.c_str()) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--cold-start")
        return coldStart();
    return measureAll(argv[0]);
}
