#pragma once

#include "UniqueHandle.h"

#include <vector>

struct FakeServiceBoard;

// Stands in for the service: a service of the same name, registered with the
// service control manager and run by this test program in a role of its
// own, that answers on the service pipe with a reply chosen by the test and
// remembers the commands it was sent. The library sends nothing to a pipe
// whose server is not the service's process, so nothing less will do.
class FakeService {
public:
    explicit FakeService(int reply);
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    void setReply(int reply);
    // From now on LOCK_DNS_LEAKS is answered FAIL and OK in turn, FAIL first.
    void alternateLockReplies();
    std::vector<int> commands();
    // The process the service control manager runs it in.
    DWORD processId() const { return processId_; }

private:
    UniqueHandle<KernelHandleTraits> mapping_;
    FakeServiceBoard* board_ = nullptr;
    DWORD processId_ = 0;
};
