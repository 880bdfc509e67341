#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

// The library's first start may miss its 150 ms ready limit when the machine
// is busy; that is allowed behaviour, not a fault. A scenario that needs a
// start within the limit reports such a miss with this exit code, and the
// scenario is run again in a fresh process, at most three times in all.
namespace SlowStartRetry {

constexpr int missedLimitExitCode = 3;
constexpr const char* childMarker = "ZERAV_QT_UI_TEST_CHILD";

[[noreturn]] inline void reportMissedLimit()
{
    std::fprintf(stderr, "the UI was not ready within 150 ms; the scenario runs again\n");
    std::fflush(nullptr);
    std::exit(missedLimitExitCode);
}

inline int runChild(char** argv)
{
    const pid_t child = fork();
    if (child == 0) {
        setenv(childMarker, "1", 1);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return 127;
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "scenario died of signal %d\n", WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

// Runs scenario in this process when it is the child, otherwise in children.
template <typename Scenario>
int run(char** argv, Scenario scenario)
{
    if (std::getenv(childMarker))
        return scenario();
    int result = missedLimitExitCode;
    for (int attempt = 0; attempt < 3 && result == missedLimitExitCode; ++attempt)
        result = runChild(argv);
    return result;
}

} // namespace SlowStartRetry
