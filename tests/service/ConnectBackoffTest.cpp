#include "ConnectBackoff.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using std::chrono::milliseconds;

TEST(ConnectBackoff, PausesTwiceAsLongAfterEachFailureUpToASecond)
{
    ConnectBackoff backoff;
    const std::vector<milliseconds> expected = {milliseconds(50),  milliseconds(100), milliseconds(200),
                                                milliseconds(400), milliseconds(800), milliseconds(1000),
                                                milliseconds(1000)};
    for (const milliseconds pause : expected)
        EXPECT_EQ(backoff.failed(), pause);
}

TEST(ConnectBackoff, StartsOverOnceAConnectWorks)
{
    ConnectBackoff backoff;
    for (int failure = 0; failure < 10; ++failure)
        backoff.failed();
    backoff.succeeded();
    EXPECT_EQ(backoff.failed(), milliseconds(50));
    EXPECT_EQ(backoff.failed(), milliseconds(100));
}

} // namespace
