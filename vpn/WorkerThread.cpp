#include "WorkerThread.h"

#include "UniqueHandle.h"
#include "WindowsError.h"

#include <memory>

namespace {

struct WorkerStart {
    HMODULE library;
    std::function<void()> work;
};

void runWork(std::unique_ptr<WorkerStart> start) noexcept
{
    try {
        start->work();
    } catch (...) {
        // The work reports its own failures; nothing is left to tell.
    }
}

DWORD WINAPI workerEntry(void* parameter)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    const HMODULE library = start->library;
    runWork(std::move(start));
    FreeLibraryAndExitThread(library, 0);
}

ModuleHandle referenceThisLibrary()
{
    HMODULE library = nullptr;
    const bool found = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                          reinterpret_cast<LPCWSTR>(&workerEntry), &library);
    checkWindowsError("GetModuleHandleEx", found ? ERROR_SUCCESS : GetLastError());
    return ModuleHandle(library);
}

} // namespace

void startWorkerThread(std::function<void()> work)
{
    ModuleHandle library = referenceThisLibrary();
    auto start = std::make_unique<WorkerStart>(WorkerStart{library.get(), std::move(work)});
    const ThreadHandle thread(CreateThread(nullptr, 0, workerEntry, start.get(), 0, nullptr));
    checkWindowsError("CreateThread", thread ? ERROR_SUCCESS : GetLastError());
    start.release();
    library.release();
}
