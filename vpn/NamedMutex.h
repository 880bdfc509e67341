#pragma once

#include "UniqueHandle.h"

// A Windows mutex shared by name between the processes of one logon. A
// mutex whose owner died while holding it is simply taken over.
class NamedMutex {
public:
    explicit NamedMutex(const wchar_t* name);

    void lock();
    void unlock() noexcept;

private:
    MutexHandle handle_;
};
