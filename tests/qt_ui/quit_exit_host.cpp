// Hosts that end their process straight after starting the menu, the way a
// short-lived host or the start-up benchmark does: one quits the menu first,
// the others exit without quit while the menu may still be starting, having
// called init on the exiting thread or on a second thread. Each is run in
// many processes side by side and beside busy threads, since a fault in the
// process exit shows only in some of them; every one must exit cleanly.

#include "ZeravQtUi.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int processes = 50;
// A busy machine makes init miss its limit more often, and that late start
// is the path most exposed at exit, so the children run side by side and
// each has busy threads of its own.
constexpr int concurrent = 4;
constexpr int busyThreads = 3;

// A clean exit of a host whose init missed its limit, told apart from one
// whose UI was ready, so that the run can say how often the late start was
// exercised.
constexpr int lateStartExitCode = 4;

// A late start is waited for through the UI thread's own loop, as the
// benchmark does, so that quit comes while the loop runs.
void waitUntilEventLoopRuns()
{
    while (!QCoreApplication::instance())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::BlockingQueuedConnection);
}

template <typename Function>
Function exported(void* library, const char* name)
{
    return reinterpret_cast<Function>(dlsym(library, name));
}

bool showAndQuit(void* library)
{
    const bool ready = exported<decltype(&ZeravQtUi_initQtUi)>(library, "ZeravQtUi_initQtUi")();
    if (!ready)
        waitUntilEventLoopRuns();
    exported<decltype(&ZeravQtUi_quit)>(library, "ZeravQtUi_quit")();
    return ready;
}

bool initOnly(void* library)
{
    return exported<decltype(&ZeravQtUi_initQtUi)>(library, "ZeravQtUi_initQtUi")();
}

bool initOnSecondThread(void* library)
{
    bool ready = false;
    std::thread starter([library, &ready] { ready = initOnly(library); });
    starter.join();
    return ready;
}

using Scenario = bool (*)(void* library);

struct NamedScenario
{
    const char* name;
    Scenario run;
};

const NamedScenario scenarios[] = {
    { "quit", &showAndQuit },
    { "init", &initOnly },
    { "init_on_second_thread", &initOnSecondThread },
};

Scenario scenarioNamed(const std::string& name)
{
    for (const NamedScenario& scenario : scenarios) {
        if (name == scenario.name)
            return scenario.run;
    }
    return nullptr;
}

// Spinning threads that compete with the UI thread until the process ends.
void startBusyThreads()
{
    static std::atomic<unsigned> spins { 0 };
    for (int i = 0; i < busyThreads; ++i)
        std::thread([] {
            for (;;)
                spins.fetch_add(1, std::memory_order_relaxed);
        }).detach();
}

// One host: the scenario, then straight out of main.
int runHost(Scenario scenario)
{
    void* library = dlopen(ZERAV_QT_UI_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    startBusyThreads();
    return scenario(library) ? 0 : lateStartExitCode;
}

pid_t startChild(char* self, char* scenario)
{
    const pid_t child = fork();
    if (child == 0) {
        char childFlag[] = "--child";
        char* arguments[] = { self, childFlag, scenario, nullptr };
        execv(self, arguments);
        _exit(127);
    }
    return child;
}

struct Outcome
{
    int failed = 0;
    int lateStarts = 0;
};

// Counts a clean exit, late start or not; anything else is reported.
void collect(pid_t child, Outcome& outcome)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        std::fprintf(stderr, "a host process could not be run\n");
        ++outcome.failed;
        return;
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "host process died of signal %d\n", WTERMSIG(status));
        ++outcome.failed;
        return;
    }
    const int code = WEXITSTATUS(status);
    if (code == lateStartExitCode) {
        ++outcome.lateStarts;
        return;
    }
    if (code != 0) {
        std::fprintf(stderr, "host process ended with exit code %d\n", code);
        ++outcome.failed;
    }
}

int runHosts(char* self, char* scenario)
{
    Outcome outcome;
    for (int started = 0; started < processes; started += concurrent) {
        std::vector<pid_t> children;
        for (int i = started; i < processes && i < started + concurrent; ++i)
            children.push_back(startChild(self, scenario));
        for (const pid_t child : children)
            collect(child, outcome);
    }
    std::printf("%s: %d of %d hosts failed at exit; %d started late\n", scenario, outcome.failed, processes,
        outcome.lateStarts);
    return outcome.failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool child = argc > 2 && std::string(argv[1]) == "--child";
    char* scenario = child ? argv[2] : argc > 1 ? argv[1] : nullptr;
    if (!scenario || !scenarioNamed(scenario)) {
        std::fprintf(stderr, "usage: quit_exit_host quit|init|init_on_second_thread\n");
        return 2;
    }
    return child ? runHost(scenarioNamed(scenario)) : runHosts(argv[0], scenario);
}
