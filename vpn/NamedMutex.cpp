#include "NamedMutex.h"

#include <stdexcept>

NamedMutex::NamedMutex(const wchar_t* name)
    : handle_(CreateMutexW(nullptr, FALSE, name))
{
    if (!handle_)
        throw std::runtime_error("NamedMutex: failed to create mutex");
}

void NamedMutex::lock()
{
    if (WaitForSingleObject(handle_.get(), INFINITE) == WAIT_FAILED)
        throw std::runtime_error("NamedMutex: WaitForSingleObject() failed");
}

void NamedMutex::unlock() noexcept
{
    ReleaseMutex(handle_.get());
}
