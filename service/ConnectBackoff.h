#pragma once

#include <chrono>

// How long the pipe server pauses after a connect that failed before it
// listens again: 50 ms after the first failure, twice as long after each
// further one up to a second, and no pause again once a connect works. A
// pipe whose connect keeps failing costs the service a few calls a second
// instead of a spinning thread.
class ConnectBackoff {
public:
    // The pause after one more failed connect.
    std::chrono::milliseconds failed();
    void succeeded() { doublings_ = 0; }

private:
    int doublings_ = 0;
};
