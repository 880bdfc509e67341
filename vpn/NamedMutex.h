#pragma once

#include "UniqueHandle.h"

#include <atomic>

// A Windows mutex shared by name between the processes of one logon. A
// mutex whose owner died while holding it is simply taken over.
class NamedMutex {
public:
    explicit NamedMutex(const wchar_t* name);

    // Holds the mutex for its lifetime; releases exactly the mutex it took,
    // even if the mutex turns private meanwhile.
    class Lock {
    public:
        explicit Lock(NamedMutex& mutex);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        HANDLE held_;
    };

    // From now on the mutex serialises this process only. The service does
    // this at start: where services share the users' object namespace (Wine,
    // or a system without session isolation), the host's connect worker holds
    // the shared mutex while it waits for the service's answer, and a service
    // that waited for the same mutex would never answer.
    void makePrivate();

private:
    MutexHandle named_;
    MutexHandle private_;
    std::atomic<HANDLE> current_;
};
