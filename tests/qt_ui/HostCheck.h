#pragma once

#include <cstdio>

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
