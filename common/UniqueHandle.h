#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of one OS handle. Each kind of handle names its own invalid
// value and close function, so a handle is released exactly once on every
// path out, thrown errors included, and closing never disturbs GetLastError.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    Type release() noexcept { return std::exchange(value_, Traits::invalid()); }

    void reset(Type value = Traits::invalid()) noexcept
    {
        const Type old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            const DWORD lastError = GetLastError();
            Traits::close(old);
            SetLastError(lastError);
        }
    }

    // For out-parameters of platform calls: releases what is held first.
    Type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { CloseHandle(h); }
};

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { CloseServiceHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { RegCloseKey(h); }
};

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { LocalFree(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { FreeLibrary(h); }
};

// The WFP engine session; its close function lives with its only user, so
// nothing else links the filtering platform.
struct WfpEngineTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept;
};

// Events, mutexes, processes and threads: null when absent.
using EventHandle = UniqueHandle<KernelHandleTraits>;
using MutexHandle = UniqueHandle<KernelHandleTraits>;
using ProcessHandle = UniqueHandle<KernelHandleTraits>;
using TokenHandle = UniqueHandle<KernelHandleTraits>;
using ThreadHandle = UniqueHandle<KernelHandleTraits>;
// Files and pipes: INVALID_HANDLE_VALUE when absent.
using FileHandle = UniqueHandle<FileHandleTraits>;
using PipeHandle = UniqueHandle<FileHandleTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using ModuleHandle = UniqueHandle<ModuleTraits>;
using WfpEngine = UniqueHandle<WfpEngineTraits>;
