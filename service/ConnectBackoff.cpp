#include "ConnectBackoff.h"

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds firstPause(50);
constexpr std::chrono::milliseconds longestPause(1000);

} // namespace

std::chrono::milliseconds ConnectBackoff::failed()
{
    const std::chrono::milliseconds pause = std::min(firstPause * (1 << doublings_), longestPause);
    if (pause < longestPause)
        ++doublings_;
    return pause;
}
