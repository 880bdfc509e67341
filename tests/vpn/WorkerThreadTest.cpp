#include "CpuLoad.h"
#include "WorkerThread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace {

// Workers started one after another, each as soon as the one before has
// finished its work, each throwing and catching on a loaded machine: the
// pattern under which detached std::threads of this toolchain end up
// spinning for ever. Every one of these must finish.
TEST(WorkerThread, HundredsThatThrowOneAfterAnotherUnderLoadAllFinish)
{
    constexpr int workers = 400;
    std::atomic<int> finished{0};
    int started = 0;
    {
        const CpuLoad load;
        for (bool lost = false; started < workers && !lost; ++started) {
            startWorkerThread([&finished] {
                try {
                    throw std::runtime_error("no service");
                } catch (const std::exception&) {
                    ++finished;
                }
            });
            for (int waited = 0; finished <= started && waited < 10000; ++waited)
                Sleep(1);
            lost = finished <= started;
        }
    }
    EXPECT_EQ(finished.load(), workers) << "of " << started << " workers started";
}

} // namespace
