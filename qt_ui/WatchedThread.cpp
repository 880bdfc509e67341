#include "WatchedThread.h"

#include <system_error>

WatchedThread::WatchedThread(std::function<void()> body)
    : end(std::make_shared<End>())
{
    watcher = std::thread([end = end, body = std::move(body)] {
        // A thread that cannot be started has ended as far as a waiter is
        // concerned.
        try {
            std::thread(body).join();
        } catch (const std::system_error&) {
        }
        const std::lock_guard<std::mutex> lock(end->mutex);
        end->ended = true;
        end->reached.notify_all();
    });
}

WatchedThread::~WatchedThread()
{
    watcher.detach();
}

bool WatchedThread::waitForEnd(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(end->mutex);
    return end->reached.wait_for(lock, limit, [this] { return end->ended; });
}
