#include "ServiceClient.h"

#include "UniqueHandle.h"

#include <stdexcept>
#include <string>

namespace {

// The server is between two clients for a moment after each exchange; a
// client that finds it busy waits for it this long in all.
constexpr ULONGLONG busyPipeWaitMs = 2000;

[[noreturn]] void fail(const char* what, DWORD code)
{
    throw std::runtime_error(std::string(what) + std::to_string(code));
}

// FILE_WRITE_DATA, not GENERIC_WRITE: the latter includes the right to
// create pipe instances, which the service grants to nobody but itself.
// Identification only: whoever answers on the pipe's name learns who we
// are but cannot act as us.
PipeHandle openServicePipe()
{
    const ULONGLONG deadline = GetTickCount64() + busyPipeWaitMs;
    for (;;) {
        PipeHandle pipe(CreateFileW(servicePipeName, GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe)
            return pipe;
        const DWORD error = GetLastError();
        const ULONGLONG now = GetTickCount64();
        if (error != ERROR_PIPE_BUSY || now >= deadline)
            fail("CreateFile(): named pipe failed : ", error);
        // Whatever the wait answers, the next open tells.
        WaitNamedPipeW(servicePipeName, static_cast<DWORD>(deadline - now));
    }
}

DWORD serviceProcessId()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        fail("OpenSCManager(): failed : ", GetLastError());
    const ServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
    if (!service)
        fail("OpenService(): ZeravMobile VPN service failed : ", GetLastError());
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed))
        fail("QueryServiceStatusEx(): ZeravMobile VPN service failed : ", GetLastError());
    return status.dwProcessId;
}

// Any process may create a pipe of this name while the service is not
// running and answer OK to everything. Nothing is sent unless the pipe's
// server is the service's own process.
void checkServerIsTheService(HANDLE pipe)
{
    ULONG serverId = 0;
    if (!GetNamedPipeServerProcessId(pipe, &serverId))
        fail("GetNamedPipeServerProcessId(): named pipe failed : ", GetLastError());
    if (serverId != serviceProcessId())
        throw std::runtime_error("Named pipe server is not the ZeravMobile VPN service: process " +
                                 std::to_string(serverId));
}

// A service that took the command but never answers must not hold the
// worker, and the VPN mutex with it, for ever: each transfer has this long.
// A lock, the slowest command, takes well under a second.
constexpr DWORD transferLimitMs = 15000;

// One overlapped transfer, waited for within the limit; a transfer that
// times out is cancelled and fails with ERROR_TIMEOUT.
DWORD transfer(HANDLE pipe, bool write, void* buffer, DWORD size, DWORD& done)
{
    const EventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return GetLastError();
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    const bool started = write ? WriteFile(pipe, buffer, size, nullptr, &overlapped)
                               : ReadFile(pipe, buffer, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return GetLastError();
    if (WaitForSingleObject(event.get(), transferLimitMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &done, TRUE);
        return ERROR_TIMEOUT;
    }
    return GetOverlappedResult(pipe, &overlapped, &done, FALSE) ? ERROR_SUCCESS : GetLastError();
}

ServiceReply exchange(HANDLE pipe, ServiceCommand command)
{
    DWORD written = 0;
    if (const DWORD error = transfer(pipe, true, &command, sizeof command, written))
        fail("WriteFile(): named pipe failed ", error);
    if (written != sizeof command)
        throw std::runtime_error("WriteFile(): named pipe failed");

    std::int32_t reply = SERVICE_REPLY_FAIL;
    DWORD read = 0;
    if (const DWORD error = transfer(pipe, false, &reply, sizeof reply, read))
        fail("ReadFile(): named pipe failed ", error);
    if (read != sizeof reply)
        throw std::runtime_error("ReadFile(): named pipe failed");
    return static_cast<ServiceReply>(reply);
}

} // namespace

ServiceReply sendServiceCommand(ServiceCommand command)
{
    const PipeHandle pipe = openServicePipe();
    checkServerIsTheService(pipe.get());
    return exchange(pipe.get(), command);
}

ServiceReply sendPipeCommand(ServiceCommand command)
{
    const PipeHandle pipe = openServicePipe();
    return exchange(pipe.get(), command);
}
