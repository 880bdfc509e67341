#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// A thread whose end can be awaited with a time limit, which std::thread's
// join does not offer. A watcher thread joins it and reports the end, so the
// end includes the clean-up of the thread's local data that follows its
// function, such as Qt's clean-up of its thread data.
class WatchedThread
{
public:
    // Throws std::system_error when the watcher cannot be started.
    explicit WatchedThread(std::function<void()> body);
    // Lets go of both threads: one that still runs is left running.
    ~WatchedThread();
    WatchedThread(const WatchedThread&) = delete;
    WatchedThread& operator=(const WatchedThread&) = delete;

    // True once the thread has ended, false when the limit passed first.
    bool waitForEnd(std::chrono::milliseconds limit);

private:
    // Shared with the watcher, which may outlive this object at process exit.
    struct End
    {
        std::mutex mutex;
        std::condition_variable reached;
        bool ended = false;
    };

    std::shared_ptr<End> end;
    std::thread watcher;
};
