// A host that shows the menu, quits it and returns from main at once, the
// way a short-lived host or the start-up benchmark does. Run in many
// processes side by side, since a fault in the process exit shows only in
// some of them; every one must end with exit code 0.

#include "ZeravQtUi.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int processes = 50;
// A busy machine makes init miss its limit more often, and that late start
// is the path most exposed at exit, so the children run side by side.
constexpr int concurrent = 4;

// A late start is waited for through the UI thread's own loop, as the
// benchmark does, so that quit comes while the loop runs.
void waitUntilEventLoopRuns()
{
    while (!QCoreApplication::instance())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::BlockingQueuedConnection);
}

int showQuitAndExit()
{
    void* library = dlopen(ZERAV_QT_UI_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    auto initQtUi = reinterpret_cast<decltype(&ZeravQtUi_initQtUi)>(dlsym(library, "ZeravQtUi_initQtUi"));
    auto quit = reinterpret_cast<decltype(&ZeravQtUi_quit)>(dlsym(library, "ZeravQtUi_quit"));
    if (!initQtUi || !quit) {
        std::fprintf(stderr, "exports missing\n");
        return 2;
    }
    if (!initQtUi())
        waitUntilEventLoopRuns();
    quit();
    return 0;
}

pid_t startChild(char* self)
{
    const pid_t child = fork();
    if (child == 0) {
        char childFlag[] = "--child";
        char* arguments[] = { self, childFlag, nullptr };
        execv(self, arguments);
        _exit(127);
    }
    return child;
}

// True when the child ended with exit code 0; anything else is reported.
bool endedCleanly(pid_t child)
{
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        std::fprintf(stderr, "a host process could not be run\n");
        return false;
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "host process died of signal %d\n", WTERMSIG(status));
        return false;
    }
    if (WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "host process ended with exit code %d\n", WEXITSTATUS(status));
        return false;
    }
    return true;
}

int runHosts(char* self)
{
    int failed = 0;
    for (int started = 0; started < processes; started += concurrent) {
        std::vector<pid_t> children;
        for (int i = started; i < processes && i < started + concurrent; ++i)
            children.push_back(startChild(self));
        for (const pid_t child : children)
            failed += endedCleanly(child) ? 0 : 1;
    }
    std::printf("%d of %d hosts that quit the menu and exited failed\n", failed, processes);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--child")
        return showQuitAndExit();
    return runHosts(argv[0]);
}
