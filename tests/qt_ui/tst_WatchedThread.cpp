#include "WatchedThread.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::atomic<bool> threadLocalCleanedUp { false };

// Destroyed after the thread's function has returned, as Qt's thread data is.
struct SlowThreadLocalCleanUp
{
    ~SlowThreadLocalCleanUp()
    {
        std::this_thread::sleep_for(200ms);
        threadLocalCleanedUp = true;
    }
};

} // namespace

class TestWatchedThread : public QObject
{
    Q_OBJECT

private slots:
    void runsTheBodyOnAThreadOfItsOwn();
    void waitGivesUpWhileTheThreadRuns();
    void endIncludesThreadLocalCleanUp();
    void everyWaiterSeesTheEnd();
};

void TestWatchedThread::runsTheBodyOnAThreadOfItsOwn()
{
    std::thread::id bodyThread;
    WatchedThread thread([&bodyThread] { bodyThread = std::this_thread::get_id(); });

    QVERIFY(thread.waitForEnd(5s));
    QVERIFY(bodyThread != std::thread::id());
    QVERIFY(bodyThread != std::this_thread::get_id());
}

void TestWatchedThread::waitGivesUpWhileTheThreadRuns()
{
    std::atomic<bool> release { false };
    WatchedThread thread([&release] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });

    const auto start = std::chrono::steady_clock::now();
    QVERIFY(!thread.waitForEnd(100ms));
    QVERIFY(std::chrono::steady_clock::now() - start >= 100ms);

    release = true;
    QVERIFY(thread.waitForEnd(5s));
}

void TestWatchedThread::endIncludesThreadLocalCleanUp()
{
    WatchedThread thread([] {
        static thread_local SlowThreadLocalCleanUp cleanUp;
        (void)cleanUp;
    });

    QVERIFY(thread.waitForEnd(5s));
    QVERIFY(threadLocalCleanedUp);
}

void TestWatchedThread::everyWaiterSeesTheEnd()
{
    std::atomic<bool> release { false };
    WatchedThread thread([&release] {
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    std::atomic<int> sawEnd { 0 };
    std::thread first([&] { sawEnd += thread.waitForEnd(5s) ? 1 : 0; });
    std::thread second([&] { sawEnd += thread.waitForEnd(5s) ? 1 : 0; });

    release = true;
    first.join();
    second.join();
    QCOMPARE(sawEnd.load(), 2);
    QVERIFY(thread.waitForEnd(0ms));
}

QTEST_APPLESS_MAIN(TestWatchedThread)
#include "tst_WatchedThread.moc"
