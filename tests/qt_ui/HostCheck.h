#pragma once

#include <cstdio>
#include <string>

// The plain hosts carry no test framework: a failed check is printed and
// counted, and the host's exit code says whether any failed.
inline int hostCheckFailures = 0;

#define CHECK(condition)                                                                            \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            ++hostCheckFailures;                                                                    \
        }                                                                                           \
    } while (false)

struct HostScenario
{
    const char* name;
    void (*run)();
};

// Runs the scenario of that name and reports its failed checks; 2 for a name
// the table does not hold.
template <typename Scenarios>
int runHostScenario(const std::string& name, const Scenarios& scenarios)
{
    for (const HostScenario& scenario : scenarios) {
        if (name != scenario.name)
            continue;
        scenario.run();
        std::printf("%s: %d failure(s)\n", name.c_str(), hostCheckFailures);
        return hostCheckFailures == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "unknown scenario \"%s\"; one of:", name.c_str());
    for (const HostScenario& scenario : scenarios)
        std::fprintf(stderr, " %s", scenario.name);
    std::fprintf(stderr, "\n");
    return 2;
}
