#include "FakeService.h"

#include "ServicePipe.h"

FakeService::FakeService(int reply)
    : reply_(reply)
    , listening_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    , thread_([this] { serve(); })
{
    WaitForSingleObject(listening_.get(), 10000);
}

FakeService::~FakeService()
{
    stopping_ = true;
    // Wakes the blocking connect with a client of our own.
    PipeHandle wake(CreateFileW(servicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    thread_.join();
}

std::vector<int> FakeService::commands()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int FakeService::replyTo(int command)
{
    if (!alternateLocks_ || command != SERVICE_COMMAND_LOCK_DNS_LEAKS)
        return reply_;
    return locks_++ % 2 == 0 ? SERVICE_REPLY_FAIL : SERVICE_REPLY_OK;
}

void FakeService::serve()
{
    PipeHandle pipe(CreateNamedPipeW(servicePipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4, 4, 5000, nullptr));
    SetEvent(listening_.get());
    if (!pipe)
        return;
    while (!stopping_) {
        if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED)
            break;
        std::int32_t command = 0;
        DWORD count = 0;
        while (!stopping_ && ReadFile(pipe.get(), &command, sizeof command, &count, nullptr) && count == 4) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(command);
            }
            const std::int32_t reply = replyTo(command);
            WriteFile(pipe.get(), &reply, sizeof reply, &count, nullptr);
        }
        DisconnectNamedPipe(pipe.get());
    }
}
