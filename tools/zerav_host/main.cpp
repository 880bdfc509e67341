// A console host of zerav_VPN for people and scripts: each step on the
// command line calls one export, in order; the exit code says whether the
// last step succeeded (0), failed (1) or the command line was wrong (2).

#include "HostSteps.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::vector<HostStep> steps;
    std::string error;
    if (!parseSteps(std::vector<std::string>(argv + 1, argv + argc), steps, error)) {
        std::fprintf(stderr, "%s\n\n%s", error.c_str(), hostUsage());
        return 2;
    }
    bool ok = true;
    for (const HostStep& step : steps)
        ok = runStep(step);
    return ok ? 0 : 1;
}
