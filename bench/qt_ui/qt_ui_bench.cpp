// Start-up figures of the menu library, each start in a fresh process so that
// every one is a cold start of Qt and the menu, followed by the list figures
// of qt_ui_list_bench. Each figure stands beside a baseline measured in the
// same run: the same figure for a bare Qt start, the floor that Qt itself
// puts under the menu. Prints one "name value baseline unit" line per figure.

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

// Without a display the platform plug-in would abort every start; a caller's
// own choice is kept. The children inherit what is set here.
void useOffscreenUnlessChosen()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

void reportStart(double readyMs, bool readyInTime)
{
    std::printf("%.3f %d\n", readyMs, readyInTime ? 1 : 0);
    std::fflush(stdout);
}

// When init gave up waiting, the first request that the UI thread's event
// loop carries out marks the moment it became ready.
void waitUntilEventLoopRuns()
{
    while (!QCoreApplication::instance())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::BlockingQueuedConnection);
}

// One cold start of the menu: prints "<ms to ready> <1 if init reported ready>".
int menuColdStart()
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
    reportStart(millisecondsSince(start), ready);
    quit();
    return 0;
}

struct StartResult
{
    double readyMs = 0;
    bool readyInTime = false;
};

// Runs one start in a process of its own: this program with --cold-start
// for the menu, or qt_ui_bare_start for the baseline.
bool runColdStart(const std::string& command, StartResult& result)
{
    FILE* child = popen((command + " 2>/dev/null").c_str(), "r");
    if (!child)
        return false;
    int reported = 0;
    const bool parsed = std::fscanf(child, "%lf %d", &result.readyMs, &reported) == 2;
    result.readyInTime = reported == 1;
    // The figure is printed before the child quits, so a failing exit does not
    // spoil it; it is still reported, as a fault of the teardown.
    const int status = pclose(child);
    if (parsed && status != 0)
        std::fprintf(stderr, "exit status %d after the start was reported: %s\n", status, command.c_str());
    return parsed;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Series
{
    std::vector<double> readyTimes;
    int readyInTime = 0;
    int underLimit = 0;

    void add(const StartResult& result)
    {
        readyTimes.push_back(result.readyMs);
        readyInTime += result.readyInTime ? 1 : 0;
        underLimit += result.readyMs < readyLimitMs ? 1 : 0;
    }
    double first() const { return readyTimes.front(); }
    double min() const { return *std::min_element(readyTimes.begin(), readyTimes.end()); }
    double max() const { return *std::max_element(readyTimes.begin(), readyTimes.end()); }
};

void printTime(const char* name, double value, double baseline)
{
    std::printf("%-32s %7.1f %10.1f %s\n", name, value, baseline, "ms");
}

void printCount(const char* name, int value, int baseline)
{
    std::printf("%-32s %7d %10d starts_of_%d\n", name, value, baseline, starts);
}

int measureAll(const std::string& self)
{
    const std::string menuStart = "\"" + self + "\" --cold-start";
    const std::string bareStart = std::string("\"") + QT_UI_BARE_START_FILE + "\"";
    Series menu;
    Series bare;
    // Alternating spreads any drift of the machine over both series; the
    // menu goes first, so the cost of first touching Qt's shared files
    // falls on it and the gap to the floor is not understated.
    for (int run = 0; run < starts; ++run) {
        StartResult menuResult;
        StartResult bareResult;
        for (const auto& [command, result] : { std::pair(&menuStart, &menuResult), std::pair(&bareStart, &bareResult) }) {
            if (!runColdStart(*command, *result)) {
                std::fprintf(stderr, "cold start %d failed: %s\n", run + 1, command->c_str());
                return 1;
            }
        }
        menu.add(menuResult);
        bare.add(bareResult);
    }

    std::printf("%-32s %7s %10s %s\n", "name", "value", "baseline", "unit");
    printTime("cold_start_first_init_to_ready", menu.first(), bare.first());
    printTime("cold_start_median_init_to_ready", median(menu.readyTimes), median(bare.readyTimes));
    printTime("cold_start_min_init_to_ready", menu.min(), bare.min());
    printTime("cold_start_max_init_to_ready", menu.max(), bare.max());
    printCount("cold_starts_under_150ms", menu.underLimit, bare.underLimit);
    // The bare start has no init; its figure counts the starts whose loop ran
    // within the time init waits.
    printCount("cold_starts_init_returned_true", menu.readyInTime, bare.readyInTime);
    std::fflush(stdout);

    const std::string listCommand = std::string("\"") + QT_UI_LIST_BENCH_FILE + "\" --no-header";
    return std::system(listCommand.c_str()) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    useOffscreenUnlessChosen();
    if (argc > 1 && std::string(argv[1]) == "--cold-start")
        return menuColdStart();
    return measureAll(argv[0]);
}
