#include "NamedMutex.h"

#include <stdexcept>

namespace {

MutexHandle createMutex(const wchar_t* name)
{
    MutexHandle mutex(CreateMutexW(nullptr, FALSE, name));
    if (!mutex)
        throw std::runtime_error("NamedMutex: failed to create mutex");
    return mutex;
}

} // namespace

NamedMutex::NamedMutex(const wchar_t* name)
    : named_(createMutex(name))
    , current_(named_.get())
{
}

void NamedMutex::makePrivate()
{
    if (private_)
        return;
    private_ = createMutex(nullptr);
    current_ = private_.get();
}

NamedMutex::Lock::Lock(NamedMutex& mutex)
    : held_(mutex.current_.load())
{
    if (WaitForSingleObject(held_, INFINITE) == WAIT_FAILED)
        throw std::runtime_error("NamedMutex: WaitForSingleObject() failed");
}

NamedMutex::Lock::~Lock()
{
    ReleaseMutex(held_);
}
