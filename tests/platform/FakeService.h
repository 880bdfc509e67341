#pragma once

#include "UniqueHandle.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Answers on the service pipe in place of the service, one client at a time,
// with a reply chosen by the test, and remembers the commands it was sent.
class FakeService {
public:
    explicit FakeService(int reply);
    ~FakeService();

    void setReply(int reply) { reply_ = reply; }
    // From now on LOCK_DNS_LEAKS is answered FAIL and OK in turn, FAIL first.
    void alternateLockReplies()
    {
        locks_ = 0;
        alternateLocks_ = true;
    }
    std::vector<int> commands();

private:
    void serve();

    int replyTo(int command);

    std::atomic<int> reply_;
    std::atomic<bool> alternateLocks_{false};
    std::atomic<int> locks_{0};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<int> commands_;
    EventHandle listening_;
    std::thread thread_;
};
