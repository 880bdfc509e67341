// A console host of zerav_VPN for people and scripts: each step on the
// command line calls one export, in order; the exit code says whether the
// last step succeeded (0), failed (1) or the command line was wrong (2).
// --help (or -h) alone prints the usage.

#include "HostSteps.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s", hostUsage());
        return 0;
    }
    std::vector<HostStep> steps;
    std::string error;
    if (!parseSteps(args, steps, error)) {
        std::fprintf(stderr, "%s\n\n%s", error.c_str(), hostUsage());
        return 2;
    }
    bool ok = true;
    for (const HostStep& step : steps)
        ok = runStep(step);
    return ok ? 0 : 1;
}
